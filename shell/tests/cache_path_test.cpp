// Join rule of the cache folder: one backslash between folder and name, never added twice.
#include "shell/cache_path.h"

#include <gtest/gtest.h>

namespace TVSP {
namespace {

TEST(JoinCachePath, OneBackslashBetweenFolderAndName) {
    const struct {
        const wchar_t* folder;
        const wchar_t* name;
        const wchar_t* joined;
    } rows[] = {
        {L"C:\\Cache", L"roms\\", L"C:\\Cache\\roms\\"},
        {L"C:\\Cache", L"updates.ini", L"C:\\Cache\\updates.ini"},
        {L"C:\\Cache\\", L"updates.ini", L"C:\\Cache\\updates.ini"},
        {L"C:\\Cache", L"\\updates.ini", L"C:\\Cache\\updates.ini"},
        {L"C:\\Cache\\", L"\\updates.ini", L"C:\\Cache\\\\updates.ini"},  // both kept: nothing is removed
        {L"C:/Cache/", L"roms", L"C:/Cache/\\roms"},                      // only "\" counts
        {L"C:\\Cache", L"/roms", L"C:\\Cache\\/roms"},
        {L"", L"roms\\", L"\\roms\\"},
        {L"C:\\Cache", L"", L"C:\\Cache\\"},
        {L"C:\\用户\\缓存", L"roms\\", L"C:\\用户\\缓存\\roms\\"},
    };
    for (const auto& row : rows) EXPECT_EQ(JoinCachePath(row.folder, row.name), row.joined);
}

}  // namespace
}  // namespace TVSP
