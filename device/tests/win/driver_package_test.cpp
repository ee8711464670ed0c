// Wrong-driver-package search on real oem*.inf files in the prefix's Windows inf folder, and its uninstall.
#include <gtest/gtest.h>

#include <windows.h>
#include <setupapi.h>

#include <string>
#include <vector>

#include "device/driver_package.h"
#include "base/win/handle.h"

namespace {

using namespace TVSP;

const std::string kWrongInf =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\n[Devices.NTamd64]\r\n"
    "%Device%=RNDIS.NT, USB\\VID_0E8D&PID_0003\r\n[Strings]\r\nDevice=\"alcatel single rndis interface\"\r\n";
const std::string kSerialInf =
    "[Version]\r\nClass=Ports\r\n[Devices]\r\n%Port%=Install, USB\\Vid_0e8d&Pid_0003\r\n"
    "[Strings]\r\nPort=\"MTK USB Port\"\r\n";
const std::string kOtherRndisInf = "[Strings]\r\nDevice=\"Alcatel Single RNDIS Interface\"\r\nUSB\\VID_1BBB&PID_0195\r\n";

std::string Utf16(const std::string& ascii, bool bom, bool bigEndian) {
    std::string out;
    if (bom) out += bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) {
        if (bigEndian) out += '\0';
        out += c;
        if (!bigEndian) out += '\0';
    }
    return out;
}

TEST(IsWrongDriverPackageContent, Markers) {
    struct Row {
        const char* name;
        std::string bytes;
        bool expected;
    };
    const std::string both = "Vid_0e8d&Pid_0003 Alcatel Single RNDIS Interface";
    const Row rows[] = {
        {"wrong package", kWrongInf, true},
        {"markers exactly", both, true},
        {"upper case", "VID_0E8D&PID_0003ALCATEL SINGLE RNDIS INTERFACE", true},
        {"description first", std::string("Alcatel Single RNDIS Interface\0Vid_0e8d&Pid_0003", 48), true},
        {"hardware marker only", kSerialInf, false},
        {"description marker only", kOtherRndisInf, false},
        {"hardware marker one short", "Vid_0e8d&Pid_000 Alcatel Single RNDIS Interface", false},
        {"description one short", "Vid_0e8d&Pid_0003 Alcatel Single RNDIS Interfac", false},
        {"empty", "", false},
        {"utf-16 little endian", Utf16(kWrongInf, true, false), true},
        {"utf-16 big endian", Utf16(kWrongInf, true, true), true},
        {"utf-16 one marker", Utf16(kSerialInf, true, false), false},
        {"utf-16 odd length", Utf16(both, true, false) + "V", true},
        {"utf-16 without mark", Utf16(kWrongInf, false, false), false},
        {"mark only", "\xFF\xFE", false},
    };
    for (const Row& row : rows) EXPECT_EQ(IsWrongDriverPackageContent(row.bytes), row.expected) << row.name;
}

// Files made in the prefix's real "<Windows>\inf" folder, removed again afterwards.
class InfFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH] = {};
        ASSERT_NE(::GetWindowsDirectoryW(folder, MAX_PATH), 0u);
        windows_ = folder;
        inf_ = windows_ + L"\\inf";
        ::CreateDirectoryW(inf_.c_str(), nullptr);
        // Nothing this test did not make may decide the outcome.
        ASSERT_EQ(OemFiles(), std::vector<std::wstring>{}) << "the prefix already holds oem*.inf files";
    }
    void TearDown() override {
        for (const std::wstring& name : made_) {
            ::DeleteFileW((inf_ + L"\\" + name).c_str());
            ::RemoveDirectoryW((inf_ + L"\\" + name).c_str());
        }
    }
    void Make(const wchar_t* name, const std::string& bytes) {
        made_.push_back(name);
        unique_hfile file(::CreateFileW((inf_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }
    bool Exists(const wchar_t* name) const {
        return ::GetFileAttributesW((inf_ + L"\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    // oem*.inf files in the order the enumeration gives them.
    std::vector<std::wstring> OemFiles() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        unique_hfind find(::FindFirstFileW((inf_ + L"\\oem*.inf").c_str(), &found));
        if (!find) return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
        } while (::FindNextFileW(find.get(), &found));
        return names;
    }

    std::wstring windows_, inf_;
    std::vector<std::wstring> made_;
};

// Calls seen by the recording stand-in for SetupUninstallOEMInfW.
struct UninstallCall {
    std::wstring name;
    DWORD flags;
    PVOID reserved;
};
std::vector<UninstallCall> g_calls;
BOOL g_answer = TRUE;

BOOL WINAPI RecordUninstall(PCWSTR name, DWORD flags, PVOID reserved) {
    g_calls.push_back({name, flags, reserved});
    if (!g_answer) ::SetLastError(ERROR_ACCESS_DENIED);
    return g_answer;
}

TEST_F(InfFolderTest, OnlyTheFirstMatchingFileIsUninstalled) {
    Make(L"oem9001.inf", kSerialInf);
    Make(L"oem9002.inf", kWrongInf);
    Make(L"oem9003.inf", Utf16(kWrongInf, true, false));
    Make(L"oem9004.inf", kOtherRndisInf);
    Make(L"other9005.inf", kWrongInf);  // not an oem*.inf
    std::vector<std::wstring> matching;
    for (const std::wstring& name : OemFiles()) {
        if (name == L"oem9002.inf" || name == L"oem9003.inf") matching.push_back(name);
    }
    ASSERT_EQ(matching.size(), 2u);

    g_calls.clear();
    g_answer = TRUE;
    const DriverPackageRemoval result = RemoveWrongDriverPackage(windows_, RecordUninstall);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].name, matching[0]);  // bare name, first in enumeration order
    EXPECT_EQ(g_calls[0].flags, static_cast<DWORD>(SUOI_FORCEDELETE));
    EXPECT_EQ(g_calls[0].reserved, nullptr);
    EXPECT_EQ(result.fileName, matching[0]);
    EXPECT_TRUE(result.attempted);
    EXPECT_TRUE(result.uninstalled);
}

TEST_F(InfFolderTest, FailedUninstallIsReportedAndStillStops) {
    Make(L"oem9011.inf", kWrongInf);
    Make(L"oem9012.inf", kWrongInf);
    g_calls.clear();
    g_answer = FALSE;
    const DriverPackageRemoval result = RemoveWrongDriverPackage(windows_, RecordUninstall);
    g_answer = TRUE;
    EXPECT_EQ(g_calls.size(), 1u);
    EXPECT_TRUE(result.attempted);
    EXPECT_FALSE(result.uninstalled);
    EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(InfFolderTest, NothingMatchingNothingCalled) {
    Make(L"oem9021.inf", kSerialInf);
    Make(L"oem9022.inf", kOtherRndisInf);
    Make(L"oem9023.inf", "");
    made_.push_back(L"oem9024.inf");
    ASSERT_TRUE(::CreateDirectoryW((inf_ + L"\\oem9024.inf").c_str(), nullptr));  // folders are passed over
    g_calls.clear();
    const DriverPackageRemoval result = RemoveWrongDriverPackage(windows_, RecordUninstall);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(result.fileName, L"");
    EXPECT_FALSE(result.attempted);
}

TEST_F(InfFolderTest, UnreadableFileCountsAsNotMatching) {
    Make(L"oem9031.inf", kWrongInf);
    unique_hfile held(::CreateFileW((inf_ + L"\\oem9031.inf").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    g_calls.clear();
    EXPECT_EQ(RemoveWrongDriverPackage(windows_, RecordUninstall).fileName, L"");
    EXPECT_TRUE(g_calls.empty());
    held.reset();
    EXPECT_EQ(RemoveWrongDriverPackage(windows_, RecordUninstall).fileName, L"oem9031.inf");
}

TEST_F(InfFolderTest, MissingInfFolderFindsNothing) {
    g_calls.clear();
    const DriverPackageRemoval result = RemoveWrongDriverPackage(windows_ + L"\\no-such-folder", RecordUninstall);
    EXPECT_EQ(result.fileName, L"");
    EXPECT_TRUE(g_calls.empty());
}

// The system's SetupUninstallOEMInfW (Wine's deletes the file when forced) on the Windows folder.
TEST_F(InfFolderTest, SystemUninstallDeletesTheWrongPackage) {
    Make(L"oem9041.inf", kSerialInf);
    Make(L"oem9042.inf", Utf16(kWrongInf, true, false));
    const DriverPackageRemoval result = RemoveWrongDriverPackage();
    EXPECT_EQ(result.fileName, L"oem9042.inf");
    EXPECT_TRUE(result.uninstalled) << result.error;
    EXPECT_FALSE(Exists(L"oem9042.inf"));
    EXPECT_TRUE(Exists(L"oem9041.inf"));
    // Once it is gone a second run finds nothing more to remove.
    EXPECT_EQ(RemoveWrongDriverPackage().fileName, L"");
}

}  // namespace
