// Tests of the system utilities under Wine: versions, folder copy and delete, machine id.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "base/win/file_io.h"
#include "device/system_utils.h"
#include "base/win/handle.h"
#include "base/win/strings.h"
#include "testing/wine/test_files.h"

namespace TVSP {
namespace {

using tvsp::Exists;
using tvsp::ReadAll;
using tvsp::TempFolder;

void Put(const std::wstring& path, const std::string& text) {
    ASSERT_TRUE(WriteWholeFile(path, text.data(), text.size())) << WideToUtf8(path);
}

std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// A VS_VERSIONINFO block with the given file version, padded to exactly totalBytes.
std::vector<BYTE> VersionBlock(std::size_t totalBytes, WORD a, WORD b, WORD c, WORD d) {
    std::vector<BYTE> block(totalBytes, 0);
    auto put16 = [&](std::size_t at, WORD v) { std::memcpy(&block[at], &v, 2); };
    put16(0, static_cast<WORD>(totalBytes));
    put16(2, sizeof(VS_FIXEDFILEINFO));
    put16(4, 0);
    const wchar_t key[] = L"VS_VERSION_INFO";
    std::memcpy(&block[6], key, sizeof(key));  // 32 bytes, then 2 bytes of alignment
    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x00010000;
    fixed.dwFileVersionMS = MAKELONG(b, a);
    fixed.dwFileVersionLS = MAKELONG(d, c);
    fixed.dwProductVersionMS = MAKELONG(1, 1);
    std::memcpy(&block[40], &fixed, sizeof(fixed));
    return block;
}

// Copies this program and replaces all its resources with one version block of blockBytes.
bool MakeVersionedCopy(const std::wstring& copy, std::size_t blockBytes) {
    if (!::CopyFileW(OwnPath().c_str(), copy.c_str(), FALSE)) return false;
    HANDLE update = ::BeginUpdateResourceW(copy.c_str(), TRUE);
    if (!update) return false;
    auto block = VersionBlock(blockBytes, 7, 8, 9, 10);
    const bool ok = ::UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(1), 0, block.data(),
                                      static_cast<DWORD>(block.size()));
    return ::EndUpdateResourceW(update, !ok) && ok;
}

TEST(FileVersion, ReadsOwnResourceInFourAndThreeParts) {
    EXPECT_EQ(GetFileVersionString(OwnPath(), true), L"3.1.4.15");
    EXPECT_EQ(GetFileVersionString(OwnPath(), false), L"3.1.4");
    EXPECT_EQ(GetOwnVersion(), L"3.1.4.15");  // the file version, not the product version 9.8.7.6
}

TEST(FileVersion, NoResourceGivesEmpty) {
    TempFolder folder(L"ver");
    Put(folder / L"plain.dat", std::string(4096, 'x'));
    EXPECT_EQ(GetFileVersionString(folder / L"plain.dat", true), L"");
    EXPECT_EQ(GetFileVersionString(folder / L"missing.exe", true), L"");
    EXPECT_EQ(GetFileVersionString(L"", false), L"");
}

// Only version data of at most 16383 bytes is read. The reported size of a 32-bit resource is
// twice its size plus 4, so the reachable sizes around the limit are 16382 (read) and 16384 (not).
TEST(FileVersion, SizeLimitAt16383Bytes) {
    TempFolder folder(L"verlimit");
    const std::wstring below = folder / L"below.exe";
    const std::wstring above = folder / L"above.exe";
    ASSERT_TRUE(MakeVersionedCopy(below, (16382 - 4) / 2));
    ASSERT_TRUE(MakeVersionedCopy(above, (16384 - 4) / 2));
    DWORD ignored = 0;
    ASSERT_EQ(::GetFileVersionInfoSizeW(below.c_str(), &ignored), 16382u);
    ASSERT_EQ(::GetFileVersionInfoSizeW(above.c_str(), &ignored), 16384u);
    EXPECT_EQ(GetFileVersionString(below, true), L"7.8.9.10");
    EXPECT_EQ(GetFileVersionString(below, false), L"7.8.9");
    EXPECT_EQ(GetFileVersionString(above, true), L"");
}

TEST(OwnDirectory, IsTheProgramFolderWithoutTrailingBackslash) {
    const std::wstring own = OwnPath();
    const std::wstring dir = GetOwnDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), L'\\');
    EXPECT_EQ(own.substr(0, dir.size() + 1), dir + L"\\");
    EXPECT_EQ(own.find(L'\\', dir.size() + 1), std::wstring::npos);
}

TEST(WindowsVersion, TestsAgreeWithTheKernelNumbers) {
    // Wine reports whatever version the prefix is set to; the tests must be consistent with it.
    const int newer = int{IsWindows8()} + int{IsWindows81()} + int{IsWindows10()};
    EXPECT_LE(newer, 1);
    if (IsWindows7()) {
        EXPECT_FALSE(IsPreVista());
    }
    EXPECT_EQ(IsPreVista(), IsPreVista());  // cached, stable
    if (newer == 1) {
        EXPECT_FALSE(IsPreVista());
    }
    EXPECT_TRUE(IsNativeX64());  // these tests only run as 64-bit programs
}

TEST(CopyDirectory, CopiesNestedTreeAndOverwrites) {
    TempFolder folder(L"copy");
    const std::wstring src = folder / L"src";
    const std::wstring dst = folder / L"out\\deep\\dst";  // created with all levels
    ASSERT_TRUE(::CreateDirectoryW(src.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((src + L"\\sub").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((src + L"\\sub\\inner").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((src + L"\\emptydir").c_str(), nullptr));
    Put(src + L"\\top.txt", "top-new");
    Put(src + L"\\sub\\mid.txt", "mid");
    Put(src + L"\\sub\\inner\\leaf.bin", std::string(70000, 'L'));

    EXPECT_TRUE(CopyDirectory(src, dst));
    EXPECT_EQ(ReadAll(dst + L"\\top.txt"), "top-new");
    EXPECT_EQ(ReadAll(dst + L"\\sub\\mid.txt"), "mid");
    EXPECT_TRUE(ReadAll(dst + L"\\sub\\inner\\leaf.bin") == std::string(70000, 'L'));
    EXPECT_TRUE(Exists(dst + L"\\emptydir"));

    Put(src + L"\\sub\\mid.txt", "mid-2");
    Put(dst + L"\\top.txt", "old-and-longer-content");
    Put(dst + L"\\extra.txt", "kept");
    EXPECT_TRUE(CopyDirectory(src, dst));
    EXPECT_EQ(ReadAll(dst + L"\\top.txt"), "top-new");
    EXPECT_EQ(ReadAll(dst + L"\\sub\\mid.txt"), "mid-2");
    EXPECT_EQ(ReadAll(dst + L"\\extra.txt"), "kept");

    EXPECT_FALSE(CopyDirectory(folder / L"missing", folder / L"dst2"));
}

// A target held the way a running program is: renamed aside, scheduled for deletion, replaced.
TEST(CopyDirectory, TargetInUseIsMovedAsideAndReportedFalse) {
    TempFolder folder(L"inuse");
    const std::wstring src = folder / L"src";
    const std::wstring dst = folder / L"dst";
    ASSERT_TRUE(::CreateDirectoryW(src.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(dst.c_str(), nullptr));
    Put(src + L"\\a.txt", "new-a");
    Put(src + L"\\busy.dll", "new-busy");
    Put(src + L"\\z.txt", "new-z");
    Put(dst + L"\\busy.dll", "old-busy");
    Put(dst + L"\\busy.dll.tmp", "older-tmp");  // an older leftover is replaced

    {
        unique_hfile held(::CreateFileW((dst + L"\\busy.dll").c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        ::SetLastError(0xdeadbeef);
        EXPECT_FALSE(::CopyFileW((src + L"\\busy.dll").c_str(), (dst + L"\\busy.dll").c_str(), FALSE));
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

        EXPECT_FALSE(CopyDirectory(src, dst));
        EXPECT_EQ(ReadAll(dst + L"\\busy.dll"), "new-busy");
        EXPECT_EQ(ReadAll(dst + L"\\busy.dll.tmp"), "old-busy");
        EXPECT_EQ(ReadAll(dst + L"\\a.txt"), "new-a");
        EXPECT_EQ(ReadAll(dst + L"\\z.txt"), "new-z");
    }

    unique_hkey session;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                              KEY_READ, session.put()),
              ERROR_SUCCESS);
    std::vector<wchar_t> pending(1 << 16, L'\0');
    DWORD bytes = static_cast<DWORD>(pending.size() * sizeof(wchar_t)) - 4;
    DWORD type = 0;
    ASSERT_EQ(::RegQueryValueExW(session.get(), L"PendingFileRenameOperations", nullptr, &type,
                                 reinterpret_cast<BYTE*>(pending.data()), &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    // Entries are pairs: "\??\<path>" then an empty string for a deletion.
    bool scheduled = false;
    const std::wstring wanted = L"\\??\\" + dst + L"\\busy.dll.tmp";
    for (const wchar_t* p = pending.data(); *p;) {
        const std::wstring from = p;
        p += from.size() + 1;
        const std::wstring to = p;
        p += to.size() + 1;
        if (::lstrcmpiW(from.c_str(), wanted.c_str()) == 0 && to.empty()) scheduled = true;
    }
    EXPECT_TRUE(scheduled) << WideToUtf8(wanted);
}

TEST(CopyDirectory, OverlongPathsFailWithoutOverflow) {
    TempFolder folder(L"long");
    const std::wstring src = folder / L"src";
    ASSERT_TRUE(::CreateDirectoryW(src.c_str(), nullptr));
    Put(src + L"\\f.txt", "f");
    const std::wstring longTarget = folder.path() + L"\\" + std::wstring(300, L'd');
    EXPECT_FALSE(CopyDirectory(src, longTarget));
    EXPECT_FALSE(CopyDirectory(folder.path() + L"\\" + std::wstring(300, L's'), folder / L"dst"));

    // File paths of 259 characters fit the buffers, 260 do not: that file fails, the rest copy.
    const std::size_t nameLength = 200;
    const std::wstring dst = folder.path() + L"\\" +
                             std::wstring(MAX_PATH - 2 - nameLength - folder.path().size() - 1, L'd');
    const std::wstring fits(nameLength, L'a');         // dst + "\" + 200 = 259 characters
    const std::wstring tooLong(nameLength + 1, L'b');  // 260 characters
    ASSERT_EQ((dst + L"\\" + fits).size(), 259u);
    Put(src + L"\\" + fits, "fits");
    Put(src + L"\\" + tooLong, "too long");
    EXPECT_FALSE(CopyDirectory(src, dst));
    EXPECT_EQ(ReadAll(dst + L"\\" + fits), "fits");
    EXPECT_EQ(ReadAll(dst + L"\\f.txt"), "f");
}

TEST(DeleteDirectory, RemovesTreeAndReportsTheFolderItself) {
    TempFolder folder(L"delete");
    const std::wstring root = folder / L"tree";
    ASSERT_TRUE(::CreateDirectoryW(root.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((root + L"\\a").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((root + L"\\a\\b").c_str(), nullptr));
    Put(root + L"\\x.txt", "x");
    Put(root + L"\\a\\b\\y.txt", "y");
    ::SetFileAttributesW(root.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(DeleteDirectory(root));
    EXPECT_FALSE(Exists(root));

    ::SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteDirectory(folder / L"never-there"));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// An empty folder joined with a name is the root of the current drive: deleting "" would empty
// it. The current folder is moved into the prefix first, so a regression can only harm the
// throwaway prefix's drive C:.
TEST(DeleteDirectory, EmptyPathTouchesNothing) {
    TempFolder folder(L"empty-path");
    wchar_t previous[MAX_PATH] = {};
    ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_EQ(folder.path().substr(0, 3), L"C:\\");
    ASSERT_TRUE(::SetCurrentDirectoryW(folder.path().c_str()));
    const std::wstring marker = L"C:\\tvsp-root-marker.txt";
    Put(marker, "stays");

    ::SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteDirectory(L""));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ::SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyDirectory(L"", folder / L"copy"));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(CopyDirectory(folder.path(), L""));
    EXPECT_EQ(ReadAll(marker), "stays");

    ::SetCurrentDirectoryW(previous);
    ::DeleteFileW(marker.c_str());
}

TEST(StartProgram, StartsWithoutWaiting) {
    TempFolder folder(L"start");
    const std::wstring marker = folder / L"started.txt";
    EXPECT_TRUE(StartProgram(L"cmd.exe /c echo ok> \"" + marker + L"\""));
    for (int i = 0; i < 100 && !Exists(marker); ++i) ::Sleep(100);
    EXPECT_TRUE(Exists(marker));
    ::SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartProgram(L"tvsp-no-such-program-xyz.exe"));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(MachineId, HasFourPercentEncodedComponents) {
    const std::string id = GetMachineId();
    // Wine supplies no processor serial, disk serial or network class key: those are "0"; the
    // volume serial is real.
    EXPECT_TRUE(std::regex_match(id, std::regex("C_[A-Za-z0-9._~%+-]+-D_[A-Za-z0-9._~%+-]+-M_[0-9A-F]+"
                                                "-V_([0-9A-F]{8}|0)")))
        << id;
    EXPECT_EQ(id.rfind("C_", 0), 0u) << id;
    EXPECT_EQ(id.find(' '), std::string::npos);
    EXPECT_EQ(id, GetMachineId());  // stable between calls
}

}  // namespace
}  // namespace TVSP
