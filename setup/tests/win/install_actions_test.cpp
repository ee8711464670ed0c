// The installer's actions in a prefix of their own: files, driver packages, shortcuts, registry,
// the old data file and the report's failures.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "base/program_files.h"
#include "base/win/file_io.h"
#include "base/win/handle.h"
#include "base/win/program_folder.h"
#include "base/win/strings.h"
#include "device/system_utils.h"
#include "setup/install_actions.h"
#include "setup/tests/win/installer_test_support.h"
#include "testing/wine/shell_link.h"
#include "testing/wine/test_files.h"

namespace {

using namespace TVSP;
using namespace TVSP::Setup;
using tvsp::Exists;
using tvsp::ReadAll;
using tvsp::ShellFolder;
using tvsp::TempFolder;

constexpr wchar_t kAssociationsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Associations";
void Put(const std::wstring& path, const std::string& text) {
    ASSERT_TRUE(WriteWholeFile(path, text.data(), text.size())) << WideToUtf8(path);
}

std::string Marker(const std::wstring& name) { return "payload stand-in: " + WideToUtf8(name); }

std::wstring OwnModulePath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}


std::wstring DesktopLink() { return ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\TarvoSprout.lnk"; }
std::wstring MenuFolder() { return ShellFolder(CSIDL_PROGRAMS) + L"\\Tarvo安全中心\\TarvoSprout"; }

struct RegistryValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

RegistryValue ReadValue(HKEY root, const wchar_t* subKey, const wchar_t* name) {
    RegistryValue value;
    unique_hkey key;
    if (::RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return value;
    value.bytes.resize(size);
    value.present = ::RegQueryValueExW(key.get(), name, nullptr, &value.type, value.bytes.data(), &size) == ERROR_SUCCESS;
    return value;
}

// REG_SZ bytes of text with its terminating zero.
std::vector<BYTE> SzBytes(const std::wstring& text) {
    const auto* p = reinterpret_cast<const BYTE*>(text.c_str());
    return {p, p + (text.size() + 1) * sizeof(wchar_t)};
}

bool Hidden(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
}

// The unpacked payload: marker files for every member but the class driver (only present when
// supplied at packaging time), the test program as the tool (it has a version resource), the
// recording fixture as the vendor's installer, and two driver folders of marker files.
struct Payload {
    Payload() {
        for (const std::wstring& name : ProgramFilesToInstall()) {
            if (name == ProgramFiles::kClassDriver) continue;
            Put(work / name, Marker(name));
        }
        EXPECT_TRUE(::CopyFileW(OwnModulePath().c_str(), (work / ProgramFiles::kTool).c_str(), FALSE));
        for (const std::wstring& name : FilesToUnhide()) ::SetFileAttributesW((work / name).c_str(), FILE_ATTRIBUTE_HIDDEN);
        for (const wchar_t* folder : {L"driver", L"win7_64", L"xp_32"}) ::CreateDirectoryW((work / folder).c_str(), nullptr);
        EXPECT_TRUE(::CopyFileW((GetOwnDirectory() + L"\\setup_test_installer.exe").c_str(),
                                (work / L"driver\\InstallDriver.exe").c_str(), FALSE));
        Put(work / L"driver\\package.inf", "marker: the vendor package's INF");
        Put(work / L"win7_64\\usbser.sys", Marker(L"win7_64"));
        Put(work / L"xp_32\\usbser.sys", Marker(L"xp_32"));
    }
    std::string InstallerRecord() const { return ReadAll(work / L"driver\\installer-record.txt"); }

    TempFolder work{L"setup payload"};
};

class InstallActions : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }

    static void Clean() {
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\tarvosprout");
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\TarvoSprout");
        ::DeleteFileW(DesktopLink().c_str());
        DeleteDirectory(ShellFolder(CSIDL_PROGRAMS) + L"\\Tarvo安全中心");
        ::DeleteFileW(tvsp::WrongPackageInfPath().c_str());
    }

    InstallRequest Request(const std::wstring& installFolder, bool earlier = false) const {
        InstallRequest req;
        req.workFolder = payload.work.path();
        req.installFolder = installFolder;
        req.earlierInstallation = earlier;
        req.driverInstallerWaitMs = 20000;
        return req;
    }

    Payload payload;
    com_apartment com;
};

TEST_F(InstallActions, FreshInstallationIntoANewFolderAndADriveRootsSubFolder) {
    TempFolder temp{L"setup fresh"};
    for (const std::wstring& folder : {temp / L"Program Files\\Tarvo Sprout", std::wstring(L"C:\\TvspSetupTest")}) {
        SCOPED_TRACE(WideToUtf8(folder));
        DeleteDirectory(folder);
        ::DeleteFileW((payload.work / L"driver\\installer-record.txt").c_str());
        const InstallReport report = RunInstallActions(Request(folder));

        EXPECT_TRUE(report.completed);
        EXPECT_TRUE(report.folderCreated);
        EXPECT_TRUE(report.filesFailed.empty());
        EXPECT_EQ(report.filesMissingFromPayload, std::vector<std::wstring>{L"usbser.sys"});
        for (const std::wstring& name : ProgramFilesToInstall()) {
            if (name == ProgramFiles::kClassDriver) continue;
            EXPECT_EQ(ReadAll(folder + L"\\" + name), ReadAll(payload.work / name)) << WideToUtf8(name);
            EXPECT_FALSE(Hidden(folder + L"\\" + name)) << WideToUtf8(name);
        }
        EXPECT_EQ(report.filesUnhidden, FilesToUnhide());
        EXPECT_FALSE(Exists(folder + L"\\usbser.sys"));
        EXPECT_EQ(ReadAll(folder + L"\\" + ProgramFiles::kDriverInstaller),
                  ReadAll(payload.work / ProgramFiles::kDriverInstaller));
        EXPECT_EQ(ReadAll(folder + L"\\win7_64\\usbser.sys"), Marker(L"win7_64"));
        EXPECT_EQ(report.driverFoldersCopied, (std::vector<std::wstring>{L"driver", L"win7_64"}));
        EXPECT_FALSE(Exists(folder + L"\\xp_32"));
        EXPECT_EQ(report.dataFile, DataFileFate::Absent);

        // The vendor's installer ran quoted with "-a" and saw the prompt suspended; it is back.
        EXPECT_TRUE(report.vendorInstallerWanted);
        EXPECT_TRUE(report.vendorInstaller.started && report.vendorInstaller.finished);
        EXPECT_TRUE(report.vendorInstaller.promptRestored);
        const std::string record = payload.InstallerRecord();
        EXPECT_EQ(record.substr(0, record.find('\n')),
                  "\"" + WideToUtf8(payload.work.path()) + "\\driver\\InstallDriver.exe\" -a");
        EXPECT_EQ(record.substr(record.find('\n') + 1), "1 10 .exe");
        EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, kAssociationsKey, L"ModRiskFileTypes").present);

        // Uninstall entry: every value REG_SZ with its terminating zero, in the entry's data.
        const struct {
            const wchar_t* name;
            std::wstring data;
        } values[] = {{L"InstallLocation", folder},
                      {L"DisplayName", L"TarvoSprout"},
                      {L"UninstallString", folder + L"\\uninst.exe"},
                      {L"DisplayIcon", folder + L"\\tarvosprout.exe"},
                      {L"DisplayVersion", L"4.2.7"},
                      {L"URLInfoAbout", L"https://sprout.example.com/"},
                      {L"Publisher", L"Tarvo安全中心"}};
        EXPECT_TRUE(report.uninstallEntryWritten);
        for (const auto& expected : values) {
            const RegistryValue value = ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, expected.name);
            EXPECT_TRUE(value.present) << WideToUtf8(expected.name);
            EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << WideToUtf8(expected.name);
            EXPECT_EQ(value.bytes, SzBytes(expected.data)) << WideToUtf8(expected.name);
        }
        const RegistryValue installPath = ReadValue(HKEY_CURRENT_USER, kUserKey, kInstallPathValue);
        EXPECT_EQ(installPath.type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(installPath.bytes, SzBytes(folder));
        EXPECT_EQ(ReadInstallPath(), folder);
        EXPECT_TRUE(EarlierInstallationPresent());

        // Shortcuts: the two to the tool and the uninstaller's, working in the program folder.
        const struct {
            std::wstring link;
            std::wstring target;
        } links[] = {{DesktopLink(), folder + L"\\tarvosprout.exe"},
                     {MenuFolder() + L"\\TarvoSprout.lnk", folder + L"\\tarvosprout.exe"},
                     {MenuFolder() + L"\\卸载TarvoSprout.lnk", folder + L"\\uninst.exe"}};
        EXPECT_EQ(report.shortcutsCreated.size(), 3u);
        EXPECT_TRUE(report.shortcutsFailed.empty());
        for (const auto& expected : links) {
            const tvsp::ShellLinkTarget link = tvsp::ResolveShellLink(expected.link);
            EXPECT_TRUE(link.loaded) << WideToUtf8(expected.link);
            EXPECT_EQ(link.path, expected.target) << WideToUtf8(expected.link);
            EXPECT_EQ(link.workingDirectory, folder) << WideToUtf8(expected.link);
        }
        DeleteDirectory(folder);
    }
}

TEST_F(InstallActions, ExistingLinksAndFilesAreReplaced) {
    TempFolder folder{L"setup replace"};
    ::CreateDirectoryW((folder / L"driver").c_str(), nullptr);
    Put(folder / L"UiFeature.xml", "older");
    ::SetFileAttributesW((folder / L"UiFeature.xml").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    Put(folder / L"driver\\package.inf", "older");
    Put(DesktopLink(), "not a link");
    const InstallReport report = RunInstallActions(Request(folder.path(), true));
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(ReadAll(folder / L"UiFeature.xml"), Marker(L"UiFeature.xml"));
    EXPECT_FALSE(Hidden(folder / L"UiFeature.xml"));
    EXPECT_EQ(ReadAll(folder / L"driver\\package.inf"), "marker: the vendor package's INF");
    EXPECT_EQ(tvsp::ResolveShellLink(DesktopLink()).path, folder / L"tarvosprout.exe");
}

TEST_F(InstallActions, CoverInstallRunsTheVendorInstallerOnlyAfterRemovingAWrongPackage) {
    const std::wstring inf = tvsp::WrongPackageInfPath();
    for (const bool planted : {false, true}) {
        SCOPED_TRACE(planted ? "wrong package planted" : "no wrong package");
        TempFolder folder{L"setup cover"};
        ::DeleteFileW((payload.work / L"driver\\installer-record.txt").c_str());
        if (planted) Put(inf, tvsp::WrongPackageInfText());
        const InstallReport report = RunInstallActions(Request(folder.path(), true));
        EXPECT_TRUE(report.completed);
        EXPECT_EQ(report.wrongPackage.fileName, planted ? L"oem77.inf" : L"");
        EXPECT_EQ(report.wrongPackage.uninstalled, planted);
        EXPECT_EQ(report.vendorInstallerWanted, planted);
        EXPECT_EQ(report.vendorInstaller.started, planted);
        EXPECT_EQ(Exists(payload.work / L"driver\\installer-record.txt"), planted);
        EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, kAssociationsKey, L"ModRiskFileTypes").present);
        EXPECT_FALSE(Exists(inf));
    }
}

TEST_F(InstallActions, OldDataFileDeletedOrMovedToTheTimestampedName) {
    struct Row {
        const char* name;
        bool present;
        DWORD attributes;
        DWORD heldSharing;  // held open during the run with this sharing; ~0: not held
        DataFileFate expected;
    };
    const Row rows[] = {
        {"absent", false, 0, ~0u, DataFileFate::Absent},
        {"deletable", true, FILE_ATTRIBUTE_NORMAL, ~0u, DataFileFate::Deleted},
        // Deleting a read-only file fails, renaming it does not.
        {"read-only", true, FILE_ATTRIBUTE_READONLY, ~0u, DataFileFate::MovedAside},
        // Held by the tool with delete sharing the delete succeeds (the name goes when it closes),
        // as on Windows; held without it neither delete nor rename can act.
        {"held sharing read and delete", true, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_DELETE,
         DataFileFate::Deleted},
        {"held sharing read only", true, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, DataFileFate::Kept},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder folder{L"setup data"};
        const std::wstring data = folder / L"sproutdata.ini";
        const std::wstring moved = folder / L"sproutdata-2026-1-31-0-0-0.ini";
        if (row.present) {
            Put(data, "[watch]\r\nmodel=k8\r\n");
            Put(moved, "an older one");
            ::SetFileAttributesW(data.c_str(), row.attributes);
        }
        InstallRequest req = Request(folder.path(), true);
        req.utcNow = [] { return UtcTime{2026, 1, 31, 16, 0, 0}; };  // the hour wraps to 0
        unique_hfile held;
        if (row.heldSharing != ~0u) {
            held.reset(::CreateFileW(data.c_str(), GENERIC_READ, row.heldSharing, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(held);
        }
        const InstallReport report = RunInstallActions(req);
        held.reset();
        ::SetFileAttributesW(moved.c_str(), FILE_ATTRIBUTE_NORMAL);  // so the folder can go
        EXPECT_EQ(report.dataFile, row.expected);
        EXPECT_EQ(Exists(data), row.expected == DataFileFate::Kept);
        if (row.expected == DataFileFate::MovedAside) {
            EXPECT_EQ(report.dataFileMovedTo, moved);
            EXPECT_EQ(ReadAll(moved), "[watch]\r\nmodel=k8\r\n");
        }
        EXPECT_TRUE(report.completed);
    }
}

TEST_F(InstallActions, AFileThatCannotBeInstalledIsReportedAndTheRestGoesOn) {
    TempFolder folder{L"setup held"};
    Put(folder / L"tarvosprout.exe", "running");
    {
        // Held without sharing, as a running program's file may be: the copy over it fails.
        unique_hfile held(::CreateFileW((folder / L"tarvosprout.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        const InstallReport report = RunInstallActions(Request(folder.path(), true));
        EXPECT_FALSE(report.completed);
        ASSERT_EQ(report.filesFailed.size(), 1u);
        EXPECT_EQ(report.filesFailed[0].name, L"tarvosprout.exe");
        EXPECT_EQ(report.filesFailed[0].error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        // The steps after it still ran.
        EXPECT_EQ(ReadAll(folder / L"GPS_DL.dll"), Marker(L"GPS_DL.dll"));
        EXPECT_EQ(report.driverFoldersCopied.size(), 2u);
        EXPECT_TRUE(report.uninstallEntryWritten);
        EXPECT_TRUE(report.installPathWritten);
    }
    EXPECT_EQ(ReadAll(folder / L"tarvosprout.exe"), "running");
}

TEST_F(InstallActions, AProgramFolderThatCannotBeMadeStopsTheRun) {
    TempFolder temp{L"setup nofolder"};
    Put(temp / L"a file", "in the way");
    const InstallReport report = RunInstallActions(Request(temp / L"a file\\TarvoSprout"));
    EXPECT_FALSE(report.completed);
    EXPECT_FALSE(report.folderCreated);
    EXPECT_NE(report.folderError, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(report.vendorInstaller.started);
    EXPECT_TRUE(report.filesCopied.empty());
    EXPECT_FALSE(Exists(DesktopLink()));
    EXPECT_EQ(ReadInstallPath(), L"");
    EXPECT_FALSE(EarlierInstallationPresent());
}

TEST_F(InstallActions, OlderSystemsClassDriverThroughTheSeams) {
    struct Row {
        const char* name;
        bool preVista, nativeX64, systemHasDriver, copied;
    };
    const Row rows[] = {
        {"32-bit XP without the driver", true, false, false, true},
        {"32-bit XP with its own driver", true, false, true, false},
        {"64-bit XP", true, true, false, false},
        {"Vista or later", false, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder windows{L"setup windows"};
        TempFolder folder{L"setup xp"};
        ::CreateDirectoryW((windows / L"system32").c_str(), nullptr);
        ::CreateDirectoryW((windows / L"system32\\DRIVERS").c_str(), nullptr);
        const std::wstring driver = windows / L"system32\\DRIVERS\\usbser.sys";
        if (row.systemHasDriver) Put(driver, "the system's own");
        InstallRequest req = Request(folder.path(), true);
        req.preVista = row.preVista;
        req.nativeX64 = row.nativeX64;
        req.windowsDirectory = windows.path();
        const InstallReport report = RunInstallActions(req);
        EXPECT_EQ(report.classDriverCopied, row.copied);
        EXPECT_EQ(ReadAll(driver), row.systemHasDriver ? "the system's own"
                                   : row.copied        ? Marker(L"xp_32")
                                                       : "<missing>");
        EXPECT_TRUE(report.completed);
    }
}

TEST(InstallPath, ReadAndEarlierInstallationPresent) {
    TempFolder existing{L"setup earlier"};
    struct Row {
        const char* name;
        std::wstring value;
        DWORD type;
        std::wstring read;
        bool present;
    };
    const Row rows[] = {
        {"existing folder", existing.path(), REG_SZ, existing.path(), true},
        {"missing folder", existing / L"gone", REG_SZ, existing / L"gone", false},
        {"empty", L"", REG_SZ, L"", false},
        {"not a string", existing.path(), REG_BINARY, L"", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        unique_hkey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kUserKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        const auto bytes = SzBytes(row.value);
        ASSERT_EQ(::RegSetValueExW(key.get(), kInstallPathValue, 0, row.type, bytes.data(), static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        EXPECT_EQ(ReadInstallPath(), row.read);
        EXPECT_EQ(EarlierInstallationPresent(), row.present);
    }
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kUserKey);
    EXPECT_EQ(ReadInstallPath(), L"");
    EXPECT_FALSE(EarlierInstallationPresent());
}

}  // namespace
