// The real uninst.exe on fake installations in the test prefix: driven through its skin window
// with uictl, its refusal box read in-process; files, registry, shortcuts and the removal
// scheduled for the next start checked afterwards.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/instance_names.h"
#include "base/program_files.h"
#include "base/win/file_io.h"
#include "base/win/handle.h"
#include "base/win/program_folder.h"
#include "base/win/strings.h"
#include "companions/uninstaller/uninstall_rules.h"
#include "companions/uninstaller/uninstall_texts.h"
#include "testing/uictl/message_boxes.h"
#include "testing/uictl/uictl_runner.h"
#include "testing/wine/automated_process.h"
#include "testing/wine/test_files.h"
#include "testing/wine/window_capture.h"

namespace {

using nlohmann::json;
using namespace TVSP;
using namespace TVSP::Uninstall;
using tvsp::DeleteTree;
using tvsp::Exists;
using tvsp::WaitUntil;

constexpr wchar_t kPipe[] = L"tvsp-uninstaller-test";
constexpr wchar_t kInstallFolder[] = L"C:\\Program Files\\Tarvo安全中心\\TarvoSprout";
constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";
// What the uninstaller needs to run, copied from the build.
constexpr const wchar_t* kRunFiles[] = {L"uninst.exe", L"UiFeatureKernel.dll", L"UiFeatureNormalControl.dll",
                                        L"UiFeatureEffect.dll", L"UiFeature.xml", L"uninstallskin.ufd"};
// The modules the running uninstaller has loaded from its folder: scheduled, never deleted now.
constexpr const wchar_t* kLoadedFiles[] = {L"uninst.exe", L"UiFeatureKernel.dll", L"UiFeatureNormalControl.dll",
                                           L"UiFeatureEffect.dll"};



std::wstring In(const std::wstring& name) { return std::wstring(kInstallFolder) + L"\\" + name; }

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}
std::wstring DesktopShortcut() { return ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\" + kDesktopShortcut; }
std::wstring MenuGroup() { return ShellFolder(CSIDL_PROGRAMS) + L"\\" + kMenuGroupFolder; }
std::wstring MenuFolder() { return MenuGroup() + L"\\" + kMenuFolder; }


void MakeFolders(const std::wstring& path) {
    const std::size_t cut = path.find_last_of(L'\\');
    if (cut != std::wstring::npos && cut > 2 && !Exists(path.substr(0, cut))) MakeFolders(path.substr(0, cut));
    ::CreateDirectoryW(path.c_str(), nullptr);
}

void WriteSmallFile(const std::wstring& path) {
    static const char kBytes[] = "test\r\n";
    ASSERT_TRUE(WriteWholeFile(path, kBytes, sizeof kBytes - 1)) << WideToUtf8(path);
}

void MakeShortcut(const std::wstring& path, const std::wstring& target) {
    com_ptr<IShellLinkW> link;
    ASSERT_HRESULT_SUCCEEDED(
        ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()));
    ASSERT_HRESULT_SUCCEEDED(link->SetPath(target.c_str()));
    com_ptr<IPersistFile> file;
    ASSERT_HRESULT_SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.put_void()));
    ASSERT_HRESULT_SUCCEEDED(file->Save(path.c_str(), TRUE));
    ASSERT_TRUE(Exists(path)) << WideToUtf8(path);
}

void SetString(HKEY root, const wchar_t* keyPath, const wchar_t* name, const std::wstring& value) {
    unique_hkey key;
    ASSERT_EQ(::RegCreateKeyExW(root, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr), ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

bool KeyExists(HKEY root, const wchar_t* keyPath) {
    unique_hkey key;
    return ::RegOpenKeyExW(root, keyPath, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
}

bool ValueExists(HKEY root, const wchar_t* keyPath, const wchar_t* name) {
    unique_hkey key;
    if (::RegOpenKeyExW(root, keyPath, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return false;
    return ::RegQueryValueExW(key.get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// The recorded operations as (source, target) pairs, "\??\" prefixes as written.
std::vector<std::pair<std::wstring, std::wstring>> PendingOperations() {
    std::vector<std::pair<std::wstring, std::wstring>> operations;
    unique_hkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return operations;
    }
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), kPendingValue, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return operations;
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.get(), kPendingValue, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS) {
        return operations;
    }
    data.resize(size / sizeof(wchar_t));
    // Empty targets are empty strings inside the list: split by the whole length, not the first "\0\0".
    std::vector<std::wstring> strings;
    std::size_t start = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == L'\0') {
            strings.push_back(data.substr(start, i - start));
            start = i + 1;
        }
    }
    for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
        if (strings[i].empty()) break;  // the list's terminator
        operations.emplace_back(strings[i], strings[i + 1]);
    }
    return operations;
}

void ClearPendingOperations() {
    unique_hkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key.get(), kPendingValue);
    }
}

// Deletions recorded for paths inside the install folder, in order (paths without "\??\").
std::vector<std::wstring> ScheduledDeletionsInFolder() {
    std::vector<std::wstring> paths;
    const std::wstring folder = std::wstring(L"\\??\\") + kInstallFolder;
    for (const auto& [source, target] : PendingOperations()) {
        if (!target.empty()) continue;
        if (source.size() >= folder.size() && ::lstrcmpiW(source.substr(0, folder.size()).c_str(), folder.c_str()) == 0) {
            paths.push_back(source.substr(4));
        }
    }
    return paths;
}

bool Contains(const std::vector<std::wstring>& paths, const std::wstring& path) {
    for (const auto& p : paths) {
        if (::lstrcmpiW(p.c_str(), path.c_str()) == 0) return true;
    }
    return false;
}

using tvsp::UictlResult;
UictlResult Uictl(const std::wstring& arguments) {
    return tvsp::RunUictl(GetOwnDirectory() + L"\\..\\..\\testing\\uictl\\uictl.exe", kPipe, arguments);
}

const json* FindControl(const json& controls, const std::string& name) {
    return tvsp::FindSnapshotControl(controls, name);
}

// The uninstaller's window in a snapshot; null while it does not answer.
json UninstallWindow() { return tvsp::SnapshotWindow(Uictl(L"snapshot"), kWindowName); }

std::string ControlText(const json& window, const std::string& name) {
    const json* c = window.is_object() && window.contains("controls") ? FindControl(window["controls"], name) : nullptr;
    return c && c->contains("text") && (*c)["text"].is_string() ? (*c)["text"].get<std::string>() : "<missing>";
}

// Saves the window of a snapshot as <TVSP_SCREENSHOT_DIR>\\<name>.png when screenshots are on.
void SaveScreenshot(const json& window, const wchar_t* name) {
    const std::wstring folder = tvsp::ScreenshotFolder();
    if (folder.empty() || !window.is_object() || !window.contains("hwnd") || !window["hwnd"].is_string()) return;
    ::Sleep(500);  // the page just switched: let it paint
    HWND hwnd = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::stoull(window["hwnd"].get<std::string>(), nullptr, 16)));
    tvsp::GdiplusSession gdiplus;
    EXPECT_TRUE(gdiplus.Ok() && tvsp::SaveWindowPng(hwnd, folder + L"\\" + name + L".png"));
}

bool ControlVisible(const json& window, const std::string& name) {
    const json* c = window.is_object() && window.contains("controls") ? FindControl(window["controls"], name) : nullptr;
    return c && c->value("visible", false);
}

// uninst.exe started from the install folder, automation on.
class RunningUninstaller : public tvsp::AutomatedProcess {
public:
    RunningUninstaller() : AutomatedProcess(In(L"uninst.exe"), kInstallFolder, kPipe) {}
    DWORD WaitForExit(DWORD timeoutMs = 20000) const { return AutomatedProcess::WaitForExit(timeoutMs); }
    // The window's snapshot once the confirmation page is shown.
    json WaitForConfirmation() const {
        json window;
        WaitUntil([&] {
            window = UninstallWindow();
            return ControlVisible(window, "confirmpage") && window.value("visible", false);
        }, 30000);
        return window;
    }
    // The window's snapshot once the result page is shown.
    json WaitForResult() const {
        json window;
        WaitUntil([&] {
            window = UninstallWindow();
            return ControlVisible(window, "resultpage");
        }, 30000);
        return window;
    }

};

class UninstallerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.result()));
        Clean();
        // The program files: what runs is copied from the build, the rest are small stand-ins.
        MakeFolders(kInstallFolder);
        for (const wchar_t* name : kRunFiles) {
            ASSERT_TRUE(::CopyFileW((GetOwnDirectory() + L"\\" + name).c_str(), In(name).c_str(), FALSE))
                << WideToUtf8(name);
        }
        for (const std::wstring& name : InstalledTopLevelFiles()) {
            if (!Exists(In(name))) WriteSmallFile(In(name));
        }
        for (const wchar_t* folder : ProgramFiles::kInstalledDriverFolders) {
            ::CreateDirectoryW(In(folder).c_str(), nullptr);
            WriteSmallFile(In(folder) + L"\\usbser.inf");
        }
        WriteSmallFile(In(ProgramFiles::kDriverInstaller));
        // What the tool writes at run time.
        WriteSmallFile(In(ProgramFiles::kDataFile));
        WriteSmallFile(In(L"sproutdata-2026-12-8-9-5-3.ini"));
        WriteSmallFile(In(L"PortMender.log"));
        ::CreateDirectoryW(In(ProgramFiles::kUpdateFolder).c_str(), nullptr);
        ::CreateDirectoryW((In(ProgramFiles::kUpdateFolder) + L"\\files").c_str(), nullptr);
        WriteSmallFile(In(ProgramFiles::kUpdateFolder) + L"\\" + ProgramFiles::kUpdateCabinet);
        WriteSmallFile(In(ProgramFiles::kUpdateFolder) + L"\\files\\tarvosprout.exe");

        SetString(HKEY_LOCAL_MACHINE, kUninstallKey, kInstallLocationValue, kInstallFolder);
        SetString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName", L"TarvoSprout");
        SetString(HKEY_CURRENT_USER, kUserKey, kInstallPathValue, kInstallFolder);

        MakeFolders(MenuFolder());
        MakeShortcut(DesktopShortcut(), In(ProgramFiles::kTool));
        MakeShortcut(MenuFolder() + L"\\" + kMenuShortcuts[0], In(ProgramFiles::kTool));
        MakeShortcut(MenuFolder() + L"\\" + kMenuShortcuts[1], In(L"uninst.exe"));
    }
    void TearDown() override { Clean(); }

    static void Clean() {
        ClearPendingOperations();
        DeleteTree(kInstallFolder);
        ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
        ::SHDeleteKeyW(HKEY_CURRENT_USER, kUserKey);
        ::DeleteFileW(DesktopShortcut().c_str());
        DeleteTree(MenuGroup());
    }

    // Every file and folder of ours is gone now, apart from what the running uninstaller holds.
    static void ExpectOursRemoved() {
        for (const std::wstring& name : InstalledTopLevelFiles()) {
            bool loaded = false;
            for (const wchar_t* held : kLoadedFiles) loaded = loaded || name == held;
            EXPECT_EQ(Exists(In(name)), loaded) << WideToUtf8(name);
        }
        for (const wchar_t* folder : ProgramFiles::kInstalledDriverFolders) EXPECT_FALSE(Exists(In(folder)));
        for (const wchar_t* name : {ProgramFiles::kDataFile, L"sproutdata-2026-12-8-9-5-3.ini", L"PortMender.log",
                                    ProgramFiles::kUpdateFolder}) {
            EXPECT_FALSE(Exists(In(name))) << WideToUtf8(name);
        }
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kUserKey, kInstallPathValue));
        EXPECT_FALSE(Exists(DesktopShortcut()));
        EXPECT_FALSE(Exists(MenuFolder()));
    }

    // Confirms in the window; the result page's snapshot.
    static json ConfirmAndWait(const RunningUninstaller& uninstaller) {
        const json confirm = uninstaller.WaitForConfirmation();
        EXPECT_FALSE(confirm.is_null()) << "no confirmation page";
        EXPECT_EQ(ControlText(confirm, "ok"), "确定");
        EXPECT_EQ(ControlText(confirm, "cancel"), "取消");
        EXPECT_EQ(ControlText(confirm, "confirmtitle"), WideToUtf8(UninstallTexts::kConfirmTitle));
        SaveScreenshot(confirm, L"uninstaller-confirm");
        EXPECT_EQ(Uictl(std::wstring(L"click UninstWnd/ok")).exitCode, 0u);
        const json result = uninstaller.WaitForResult();
        SaveScreenshot(result, (L"uninstaller-" + Utf8ToWide(::testing::UnitTest::GetInstance()->current_test_info()->name())).c_str());
        return result;
    }

    com_apartment com_;
};

// The maker's menu group also holds another program's shortcut; the user keeps a file and a
// folder in the install folder; some of our files are read-only. Those stay, so the folder stays and is not scheduled.
TEST_F(UninstallerTest, RemovesWhatIsOursAndKeepsTheUsersFiles) {
    WriteSmallFile(In(L"我的备份.txt"));
    ::CreateDirectoryW(In(L"照片").c_str(), nullptr);
    WriteSmallFile(In(L"照片\\1.jpg"));
    WriteSmallFile(In(L"sproutdata-old.ini"));  // a look-alike of the tool's copies
    // Read-only files of ours go too, in the folder and inside a driver folder.
    ASSERT_TRUE(::SetFileAttributesW(In(L"brom.ini").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(::SetFileAttributesW((In(L"win7_64") + L"\\usbser.inf").c_str(), FILE_ATTRIBUTE_READONLY));
    const std::wstring otherShortcut = MenuGroup() + L"\\其他工具.lnk";
    MakeShortcut(otherShortcut, L"C:\\windows\\notepad.exe");

    RunningUninstaller uninstaller;
    ASSERT_TRUE(uninstaller.Started());
    const json result = ConfirmAndWait(uninstaller);
    ASSERT_FALSE(result.is_null()) << "no result page";
    EXPECT_EQ(ControlText(result, "resulttitle"), WideToUtf8(UninstallTexts::kDoneTitle));
    EXPECT_EQ(ControlText(result, "resulttext"), WideToUtf8(std::wstring(UninstallTexts::kDoneText) +
                                                            UninstallTexts::kDoneAfterRestart +
                                                            UninstallTexts::kKeptFolder));
    EXPECT_TRUE(ControlVisible(result, "donepicture"));
    EXPECT_FALSE(ControlVisible(result, "failpicture"));

    ExpectOursRemoved();
    EXPECT_TRUE(Exists(In(L"我的备份.txt")));
    EXPECT_TRUE(Exists(In(L"照片\\1.jpg")));
    EXPECT_TRUE(Exists(In(L"sproutdata-old.ini")));
    EXPECT_TRUE(Exists(otherShortcut));
    EXPECT_TRUE(Exists(MenuGroup()));

    // The running program and its loaded modules wait for the next start; the folder does not.
    const auto scheduled = ScheduledDeletionsInFolder();
    for (const wchar_t* held : kLoadedFiles) EXPECT_TRUE(Contains(scheduled, In(held))) << WideToUtf8(held);
    EXPECT_EQ(scheduled.size(), std::size(kLoadedFiles));
    EXPECT_FALSE(Contains(scheduled, kInstallFolder));

    EXPECT_EQ(Uictl(L"click UninstWnd/finish").exitCode, 0u);
    EXPECT_EQ(uninstaller.WaitForExit(), static_cast<DWORD>(kExitRemoved));
}

// Nothing but ours in the folder: the folder is scheduled after its last files, and carrying out
// the recorded deletions in order (as the next start does) leaves nothing behind.
TEST_F(UninstallerTest, FolderScheduledAfterItsLastFiles) {
    RunningUninstaller uninstaller;
    ASSERT_TRUE(uninstaller.Started());
    const json result = ConfirmAndWait(uninstaller);
    ASSERT_FALSE(result.is_null()) << "no result page";
    EXPECT_EQ(ControlText(result, "resulttext"),
              WideToUtf8(std::wstring(UninstallTexts::kDoneText) + UninstallTexts::kDoneAfterRestart));
    ExpectOursRemoved();
    // The user's key held only the install path: it goes too, as does the emptied menu group.
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserKey));
    EXPECT_FALSE(Exists(MenuGroup()));

    EXPECT_EQ(Uictl(L"click UninstWnd/close").exitCode, 0u);
    EXPECT_EQ(uninstaller.WaitForExit(), static_cast<DWORD>(kExitRemoved));

    const auto scheduled = ScheduledDeletionsInFolder();
    ASSERT_EQ(scheduled.size(), std::size(kLoadedFiles) + 1);
    EXPECT_EQ(::lstrcmpiW(scheduled.back().c_str(), kInstallFolder), 0) << "the folder comes last";
    for (const auto& path : scheduled) {
        if (path == scheduled.back()) {
            EXPECT_TRUE(::RemoveDirectoryW(path.c_str())) << "not empty: " << ::GetLastError();
        } else {
            EXPECT_TRUE(::DeleteFileW(path.c_str())) << WideToUtf8(path);
        }
    }
    EXPECT_FALSE(Exists(kInstallFolder));
}

TEST_F(UninstallerTest, CancelLeavesEverything) {
    RunningUninstaller uninstaller;
    ASSERT_TRUE(uninstaller.Started());
    ASSERT_FALSE(uninstaller.WaitForConfirmation().is_null());
    EXPECT_EQ(Uictl(L"click UninstWnd/cancel").exitCode, 0u);
    EXPECT_EQ(uninstaller.WaitForExit(), static_cast<DWORD>(kExitCancelled));

    for (const std::wstring& name : InstalledTopLevelFiles()) EXPECT_TRUE(Exists(In(name))) << WideToUtf8(name);
    for (const wchar_t* folder : ProgramFiles::kInstalledDriverFolders) EXPECT_TRUE(Exists(In(folder)));
    EXPECT_TRUE(Exists(In(ProgramFiles::kDataFile)));
    EXPECT_TRUE(Exists(In(ProgramFiles::kUpdateFolder) + L"\\" + ProgramFiles::kUpdateCabinet));
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kUninstallKey, kInstallLocationValue));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kUserKey, kInstallPathValue));
    EXPECT_TRUE(Exists(DesktopShortcut()));
    EXPECT_TRUE(Exists(MenuFolder() + L"\\" + kMenuShortcuts[1]));
    EXPECT_TRUE(ScheduledDeletionsInFolder().empty());
}

// The tool runs (its mutex exists): a box says so, nothing is touched, the exit code tells.
TEST_F(UninstallerTest, RefusedWhileTheToolRuns) {
    unique_handle mutex(::CreateMutexW(nullptr, FALSE, kToolInstanceMutexName));
    ASSERT_TRUE(mutex);
    RunningUninstaller uninstaller;
    ASSERT_TRUE(uninstaller.Started());
    std::vector<tvsp::OpenMessageBox> boxes;
    ASSERT_TRUE(WaitUntil([&] { return !(boxes = tvsp::FindMessageBoxes(uninstaller.Id())).empty(); }, 20000));
    EXPECT_EQ(boxes[0].caption, L"TarvoSprout");
    EXPECT_EQ(boxes[0].text, UninstallTexts::kToolRunning);
    EXPECT_TRUE(UninstallWindow().is_null()) << "no window while refusing";
    EXPECT_TRUE(tvsp::PressMessageBoxButton(boxes[0], "OK"));
    EXPECT_EQ(uninstaller.WaitForExit(), static_cast<DWORD>(kExitToolRunning));

    for (const std::wstring& name : InstalledTopLevelFiles()) EXPECT_TRUE(Exists(In(name))) << WideToUtf8(name);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_TRUE(Exists(DesktopShortcut()));
    EXPECT_TRUE(ScheduledDeletionsInFolder().empty());
}

// A file held open by another program (no delete sharing) stays and is named on the failure page;
// the folder then stays. Registry entries naming another installation's folder are not ours.
TEST_F(UninstallerTest, ReportsWhatCouldNotBeRemoved) {
    SetString(HKEY_LOCAL_MACHINE, kUninstallKey, kInstallLocationValue, L"D:\\Other\\TarvoSprout");
    SetString(HKEY_CURRENT_USER, kUserKey, kInstallPathValue, L"D:\\Other\\TarvoSprout");
    unique_hfile held(::CreateFileW(In(ProgramFiles::kConfigIni).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);

    RunningUninstaller uninstaller;
    ASSERT_TRUE(uninstaller.Started());
    const json result = ConfirmAndWait(uninstaller);
    ASSERT_FALSE(result.is_null()) << "no result page";
    EXPECT_EQ(ControlText(result, "resulttitle"), WideToUtf8(UninstallTexts::kFailedTitle));
    EXPECT_EQ(ControlText(result, "resulttext"),
              WideToUtf8(std::wstring(UninstallTexts::kFailedText) + ProgramFiles::kConfigIni));
    EXPECT_TRUE(ControlVisible(result, "failpicture"));
    EXPECT_FALSE(ControlVisible(result, "donepicture"));

    EXPECT_TRUE(Exists(In(ProgramFiles::kConfigIni)));
    EXPECT_FALSE(Exists(In(ProgramFiles::kTool)));
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kUninstallKey, kInstallLocationValue));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kUserKey, kInstallPathValue));
    EXPECT_FALSE(Contains(ScheduledDeletionsInFolder(), kInstallFolder));

    EXPECT_EQ(Uictl(L"click UninstWnd/finish").exitCode, 0u);
    EXPECT_EQ(uninstaller.WaitForExit(), static_cast<DWORD>(kExitIncomplete));
}

}  // namespace
