// Tests of the base library under Wine: whole-file and full I/O, and the handle owners' errors.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "base/win/file_io.h"
#include "base/win/handle.h"
#include "base/win/strings.h"
#include "testing/wine/test_files.h"

namespace TVSP {
namespace {

using tvsp::Exists;
using tvsp::ReadAll;
using tvsp::TempFolder;

TEST(WriteWholeFile, WritesEveryByteOrFails) {
    TempFolder folder(L"write");
    std::string bytes(100000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    EXPECT_TRUE(WriteWholeFile(folder / L"a.bin", bytes.data(), bytes.size()));
    EXPECT_TRUE(ReadAll(folder / L"a.bin") == bytes);

    // A shorter write replaces the file entirely.
    EXPECT_TRUE(WriteWholeFile(folder / L"a.bin", "xy", 2));
    EXPECT_EQ(ReadAll(folder / L"a.bin"), "xy");
    EXPECT_TRUE(WriteWholeFile(folder / L"empty.bin", "", 0));
    EXPECT_EQ(ReadAll(folder / L"empty.bin"), "");
    EXPECT_EQ(tvsp::Entries(folder.path()).size(), 2u);

    ::SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteWholeFile(folder / L"no-such-folder\\a.bin", "x", 1));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(Exists(folder / L"no-such-folder"));

    ::SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteWholeFile(L"", "x", 1));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(WriteWholeFile(folder / L"null.bin", nullptr, 1));
    EXPECT_FALSE(Exists(folder / L"null.bin"));
}

TEST(WriteWholeFile, FailureKeepsTheOldFileAndLeavesNoTemporary) {
    TempFolder folder(L"write-fail");
    const std::wstring target = folder / L"data.ini";
    ASSERT_TRUE(WriteWholeFile(target, "old", 3));

    {
        // Held open without delete sharing: the target cannot be replaced.
        unique_hfile holder(::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_FALSE(WriteWholeFile(target, "new and longer", 14));
        EXPECT_NE(::GetLastError(), 0u);
    }
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_EQ(tvsp::Entries(folder.path()), std::vector<std::wstring>{L"data.ini"});

    // A folder of that name is never replaced by a file.
    ASSERT_TRUE(::CreateDirectoryW((folder / L"sub").c_str(), nullptr));
    EXPECT_FALSE(WriteWholeFile(folder / L"sub", "x", 1));
    EXPECT_EQ(::GetFileAttributesW((folder / L"sub").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(tvsp::Entries(folder.path()).size(), 2u);
}

TEST(ReadWholeFile, LimitsAndResults) {
    TempFolder folder(L"read");
    const std::string ten = "0123456789";
    ASSERT_TRUE(WriteWholeFile(folder / L"ten.bin", ten.data(), ten.size()));
    ASSERT_TRUE(WriteWholeFile(folder / L"empty.bin", "", 0));

    struct Row {
        const wchar_t* name;
        std::uint64_t limit;
        FileReadResult result;
        const char* bytes;
    };
    const Row rows[] = {
        {L"ten.bin", 9, FileReadResult::TooLarge, ""},  // N-1
        {L"ten.bin", 10, FileReadResult::Ok, "0123456789"},
        {L"ten.bin", 11, FileReadResult::Ok, "0123456789"},
        {L"empty.bin", 0, FileReadResult::Ok, ""},
        {L"absent.bin", 100, FileReadResult::OpenFailed, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.name) + " limit " + std::to_string(row.limit));
        std::string text = "sentinel";
        std::vector<std::uint8_t> raw{0xEE};
        EXPECT_EQ(ReadWholeFile(folder / row.name, row.limit, text), row.result);
        EXPECT_EQ(ReadWholeFile(folder / row.name, row.limit, raw), row.result);
        EXPECT_EQ(text, row.bytes);
        EXPECT_EQ(std::string(raw.begin(), raw.end()), row.bytes);
    }

    ::SetLastError(0xdeadbeef);
    std::string text;
    EXPECT_EQ(ReadWholeFile(folder / L"absent.bin", 100, text), FileReadResult::OpenFailed);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // Sharing: a file held for writing can be read only when the reader allows writers.
    unique_hfile writer(::CreateFileW((folder / L"ten.bin").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_EQ(ReadWholeFile(folder / L"ten.bin", 100, text), FileReadResult::OpenFailed);
    EXPECT_EQ(ReadWholeFile(folder / L"ten.bin", 100, text, FILE_SHARE_READ | FILE_SHARE_WRITE), FileReadResult::Ok);
    EXPECT_EQ(text, ten);
}

TEST(ReadFull, EndOfFileAndPipesThatDeliverInPieces) {
    TempFolder folder(L"readfull");
    ASSERT_TRUE(WriteWholeFile(folder / L"five.bin", "abcde", 5));
    unique_hfile file(::CreateFileW((folder / L"five.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    char buffer[8] = {};
    EXPECT_TRUE(ReadFull(file.get(), buffer, 3));
    EXPECT_EQ(std::string(buffer, 3), "abc");
    ::SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFull(file.get(), buffer, 3));  // only two bytes are left
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));

    // A pipe hands over what was written so far: the loop gathers three writes into one read.
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    unique_handle reader(readEnd), writer(writeEnd);
    for (const char* piece : {"12", "345", "6"}) {
        ASSERT_TRUE(WriteFull(writer.get(), piece, std::char_traits<char>::length(piece)));
    }
    char gathered[6] = {};
    EXPECT_TRUE(ReadFull(reader.get(), gathered, sizeof(gathered)));
    EXPECT_EQ(std::string(gathered, 6), "123456");
}

TEST(UniqueAny, ResetKeepsTheLastError) {
    // Closing a handle that is no longer valid fails and would set ERROR_INVALID_HANDLE.
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    ASSERT_TRUE(::CloseHandle(event));
    unique_handle stale(event);
    ::SetLastError(0xdeadbeef);
    stale.reset();
    EXPECT_EQ(::GetLastError(), 0xdeadbeefu);
    EXPECT_FALSE(stale);

    unique_handle live(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(live);
    ::SetLastError(ERROR_ACCESS_DENIED);
    live.reset();
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
}  // namespace TVSP
