// The real setup.exe in its own prefix, copied to a folder of its own and driven through its skin
// window with uictl; its boxes are read and pressed in-process; files and registry checked after.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <regex>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "base/install_layout.h"
#include "base/instance_names.h"
#include "base/maker_site.h"
#include "base/program_files.h"
#include "base/user_caption.h"
#include "base/win/file_io.h"
#include "base/win/handle.h"
#include "base/win/program_folder.h"
#include "base/win/strings.h"
#include "device/driver_package.h"
#include "setup/setup_texts.h"
#include "testing/uictl/message_boxes.h"
#include "testing/uictl/uictl_runner.h"
#include "testing/wine/automated_process.h"
#include "testing/wine/shell_link.h"
#include "testing/wine/test_files.h"
#include "setup/tests/win/installer_test_support.h"

namespace {

using nlohmann::json;
using namespace TVSP;
using namespace TVSP::InstallLayout;
using tvsp::DeleteTree;
using tvsp::FindEdit;
using tvsp::NewWorkFolder;
using tvsp::ShellFolder;
using tvsp::WorkFolderPaths;
using tvsp::Exists;
using tvsp::WaitUntil;

constexpr wchar_t kPipe[] = L"tvsp-setup-window-test";
constexpr wchar_t kAssociationsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Associations";
// setup.exe runs from here: it leaves its engine copies beside itself while it runs.
constexpr wchar_t kRunFolder[] = L"C:\\setup-test";
constexpr DWORD kRefused = static_cast<DWORD>(-1);

std::wstring DefaultParent() { return ShellFolder(CSIDL_PROGRAM_FILES) + L"\\" + SetupTexts::kDefaultFolderName; }
std::wstring DefaultInstallFolder() { return DefaultParent() + L"\\tarvosprout"; }

std::wstring ReadString(HKEY root, const wchar_t* keyPath, const wchar_t* name) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t), type = 0;
    unique_hkey key;
    if (::RegOpenKeyExW(root, keyPath, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return L"<absent>";
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return L"<absent>";
    }
    return buffer;
}

// A REG_SZ value with its terminating zero counted; "<absent>" for anything else.
std::wstring ReadTerminatedString(HKEY root, const wchar_t* keyPath, const wchar_t* name) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t), type = 0;
    unique_hkey key;
    if (::RegOpenKeyExW(root, keyPath, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS ||
        ::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        type != REG_SZ || size < sizeof(wchar_t) || buffer[size / sizeof(wchar_t) - 1] != L'\0') {
        return L"<absent>";
    }
    return buffer;
}

// The automation pipe of the program the test started last. Each start gets a name of its own, so a
// program left over from an earlier case (Wine has been seen to leave one half-ended, its pipe
// still open) never takes a later case's calls.
std::wstring g_pipe = kPipe;
const wchar_t* NewPipe() {
    static int starts = 0;
    g_pipe = std::wstring(kPipe) + L"-" + std::to_wstring(++starts);
    return g_pipe.c_str();
}

tvsp::UictlResult Uictl(const std::wstring& arguments) {
    return tvsp::RunUictl(GetOwnDirectory() + L"\\..\\testing\\uictl\\uictl.exe", g_pipe, arguments);
}

// Ends every running process of that image name (the tool the installer started, or a program a
// failed case left behind); how many there were.
int EndRunning(const wchar_t* image) {
    int ended = 0;
    unique_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (::lstrcmpiW(entry.szExeFile, image) != 0) continue;
        unique_handle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (process && ::TerminateProcess(process.get(), 99)) {
            ::WaitForSingleObject(process.get(), 10000);
            ++ended;
        }
    }
    return ended;
}
int EndRunningTools() { return EndRunning(ProgramFiles::kTool); }

json SetupWindow() { return tvsp::SnapshotWindow(Uictl(L"snapshot"), "SetupWnd"); }

const json* Control(const json& window, const std::string& name) {
    return window.is_object() && window.contains("controls") ? tvsp::FindSnapshotControl(window["controls"], name)
                                                             : nullptr;
}
bool Visible(const json& window, const std::string& name) {
    const json* c = Control(window, name);
    return c && c->value("visible", false);
}
bool Enabled(const json& window, const std::string& name) {
    const json* c = Control(window, name);
    return c && c->value("enabled", false);
}
std::string Text(const json& window, const std::string& name) {
    const json* c = Control(window, name);
    return c && c->contains("text") && (*c)["text"].is_string() ? (*c)["text"].get<std::string>() : "<missing>";
}

// setup.exe (or its test variant, `program` of the build) copied into kRunFolder as setup.exe;
// empty when the copy failed.
std::wstring CopySetupToRunFolder(const wchar_t* program) {
    const std::wstring exe = std::wstring(kRunFolder) + L"\\setup.exe";
    // Retried: right after an installer exits, Wine may still hold its image and its working
    // folder for a moment; a running image is neither deleted nor overwritten, and a deleted
    // folder still held is neither usable nor made anew.
    const bool copied = WaitUntil([&] {
        ::CreateDirectoryW(kRunFolder, nullptr);
        return ::CopyFileW((GetOwnDirectory() + L"\\" + program).c_str(), exe.c_str(), FALSE) != FALSE;
    }, 10000);
    if (!copied) ADD_FAILURE() << "setup.exe not copied: " << ::GetLastError();
    return copied ? exe : std::wstring();
}

// setup.exe started from kRunFolder, automation on.
class RunningSetup : public tvsp::AutomatedProcess {
public:
    explicit RunningSetup(const wchar_t* program = L"setup.exe")
        : AutomatedProcess(CopySetupToRunFolder(program), kRunFolder, NewPipe()) {}
    DWORD WaitForExit(DWORD timeoutMs = 30000) const { return AutomatedProcess::WaitForExit(timeoutMs); }
    // The window once the panel is shown (null after the time-out).
    json WaitForPanel(const std::string& panel, DWORD timeoutMs = 60000) const {
        json window;
        if (!WaitUntil([&] {
                window = SetupWindow();
                return Visible(window, panel) && window.value("visible", false);
            }, timeoutMs)) {
            // What the installer showed instead, for the failure's message.
            std::string seen = window.is_null() ? "no answer from the window" : "";
            for (const char* p : {"PreSetupPanel", "cover_install_panel", "installing_panel", "install_success"}) {
                if (Visible(window, p)) seen += std::string(p) + " ";
            }
            if (Visible(window, "installing_panel")) seen += Text(window, "installing_percent");
            std::printf("waiting for %s, the installer (%s) showed: %s\n", panel.c_str(),
                        WaitForExit(0) == STILL_ACTIVE ? "running" : "ended", seen.c_str());
            return json();
        }
        return window;
    }
    // The first box of the process once one is shown.
    tvsp::OpenMessageBox WaitForBox(DWORD timeoutMs = 30000) const {
        tvsp::OpenMessageBox found;
        WaitUntil([&] {
            auto boxes = tvsp::FindMessageBoxes(Id());
            if (boxes.empty()) return false;
            found = boxes.front();
            return true;
        }, timeoutMs);
        return found;
    }
};

// The Windows version the launcher set the prefix to (TVSP_WINDOWS_VERSION); empty without one.
std::string PrefixWindowsVersion() {
    char name[32] = {};
    const DWORD n = ::GetEnvironmentVariableA("TVSP_WINDOWS_VERSION", name, sizeof name);
    return n > 0 && n < sizeof name ? name : "";
}

// 64-bit XP runs the fresh installation only: the other cases take the same paths there.
bool SkippedOnThisSystem() {
    return PrefixWindowsVersion() == "winxp64" &&
           std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) !=
               "FreshInstallationIntoTheDefaultFolder";
}

class SetupWindowTest : public testing::Test {
protected:
    void SetUp() override {
        if (SkippedOnThisSystem()) GTEST_SKIP() << "64-bit XP prefix: only the fresh installation runs here";
        Clean();
    }
    void TearDown() override { Clean(); }
    static void Clean() {
        // Nothing a case started outlives it: a left-over program would hold files and mutexes.
        for (const wchar_t* image : {L"setup.exe", L"uninst.exe", ProgramFiles::kTool}) {
            EndRunning(image);
        }
        // An installer that died while the vendor's installer ran leaves the prompt suspended.
        ::SHDeleteValueW(HKEY_CURRENT_USER, kAssociationsKey, L"ModRiskFileTypes");
        DeleteTree(DefaultParent());
        DeleteTree(L"C:\\tarvosprout");
        ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
        ::SHDeleteKeyW(HKEY_CURRENT_USER, kUserKey);
        ::DeleteFileW((ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\" + kShortcutName).c_str());
        DeleteTree(ShellFolder(CSIDL_PROGRAMS) + L"\\" + kMenuGroupFolder);
        DeleteTree(kRunFolder);
        ::DeleteFileW(tvsp::WrongPackageInfPath().c_str());
        // Deletions the uninstaller left for the next start: their files are gone already.
        unique_hkey sessionManager;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                            KEY_SET_VALUE, sessionManager.put()) == ERROR_SUCCESS) {
            ::RegDeleteValueW(sessionManager.get(), L"PendingFileRenameOperations");
        }
    }
};

TEST_F(SetupWindowTest, SecondInstallerExitsAtOnceWithoutABox) {
    unique_handle first(::CreateMutexW(nullptr, TRUE, kSetupInstanceMutexName));
    ASSERT_TRUE(first);
    const int before = static_cast<int>(WorkFolderPaths().size());
    RunningSetup setup;
    ASSERT_TRUE(setup.Started());
    EXPECT_EQ(setup.WaitForExit(10000), kRefused);
    EXPECT_EQ(static_cast<int>(WorkFolderPaths().size()), before) << "refused before making a work folder";
    EXPECT_FALSE(Exists(std::wstring(kRunFolder) + L"\\" + ProgramFiles::kSkinConfig));
}

TEST_F(SetupWindowTest, RunningToolRefusesTheInstallerWithItsBox) {
    unique_handle tool(::CreateMutexW(nullptr, TRUE, kToolInstanceMutexName));
    ASSERT_TRUE(tool);
    RunningSetup setup;
    ASSERT_TRUE(setup.Started());
    const tvsp::OpenMessageBox box = setup.WaitForBox();
    ASSERT_NE(box.window, nullptr) << "no box";
    EXPECT_EQ(box.caption, kMessageCaption);
    EXPECT_EQ(box.text, SetupTexts::kToolRunning);
    EXPECT_TRUE(tvsp::PressMessageBoxButton(box, "OK"));
    EXPECT_EQ(setup.WaitForExit(), kRefused);
}

// "C:", "C:x", "1:\" are refused with the box and the page stays; un-ticking "Check" disables
// "Setup", ticking it again enables it.
TEST_F(SetupWindowTest, InvalidPathsRefusedAndCheckEnablesSetup) {
    RunningSetup setup;
    ASSERT_TRUE(setup.Started());
    json window = setup.WaitForPanel("PreSetupPanel");
    ASSERT_FALSE(window.is_null()) << "no folder page";
    EXPECT_TRUE(Enabled(window, "Setup"));

    EXPECT_EQ(Uictl(L"toggle SetupWnd/Check").exitCode, 0u);
    window = SetupWindow();
    EXPECT_FALSE(Enabled(window, "Setup"));
    EXPECT_EQ(Uictl(L"click SetupWnd/Setup").exitCode, 1u) << "a disabled button cannot be clicked";
    EXPECT_EQ(Uictl(L"toggle SetupWnd/Check").exitCode, 0u);
    EXPECT_TRUE(Enabled(SetupWindow(), "Setup"));

    // Only once timer 1002 has put the folder in: the text typed here must not be overwritten.
    ASSERT_TRUE(WaitUntil([&] { return Text(SetupWindow(), "edit_path") != ""; }, 10000));
    HWND edit = FindEdit(setup.Id());
    ASSERT_NE(edit, nullptr) << "no native edit";
    for (const wchar_t* path : {L"C:", L"C:x", L"1:\\"}) {
        ASSERT_TRUE(::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path)));
        EXPECT_EQ(Uictl(L"click SetupWnd/Setup").exitCode, 0u);
        const tvsp::OpenMessageBox box = setup.WaitForBox();
        ASSERT_NE(box.window, nullptr) << WideToUtf8(path);
        EXPECT_EQ(box.text, SetupTexts::kInvalidPath);
        EXPECT_EQ(box.caption, kMessageCaption);
        EXPECT_TRUE(tvsp::PressMessageBoxButton(box, "OK"));
        ASSERT_TRUE(WaitUntil([&] { return tvsp::FindMessageBoxes(setup.Id()).empty(); }, 10000));
        window = SetupWindow();
        EXPECT_TRUE(Visible(window, "PreSetupPanel")) << WideToUtf8(path);
        EXPECT_FALSE(Visible(window, "installing_panel"));
    }
    EXPECT_FALSE(Exists(L"C:\\tarvosprout"));
    EXPECT_EQ(Uictl(L"click SetupWnd/Close").exitCode, 0u);
    EXPECT_EQ(setup.WaitForExit(), 0u);
}

// True when a child of the window shows exactly this text.
bool ShowsText(HWND window, const wchar_t* text) {
    struct Search {
        const wchar_t* text;
        bool found;
    } search{text, false};
    ::EnumChildWindows(window, [](HWND child, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        wchar_t buffer[256] = {};
        ::GetWindowTextW(child, buffer, 256);
        s->found = ::lstrcmpW(buffer, s->text) == 0;
        return !s->found;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The shell's folder browser of the process once it is shown: the dialog with the installer's title.
tvsp::OpenMessageBox WaitForFolderBrowser(DWORD processId) {
    tvsp::OpenMessageBox found;
    WaitUntil([&] {
        for (const tvsp::OpenMessageBox& box : tvsp::FindMessageBoxes(processId)) {
            if (ShowsText(box.window, SetupTexts::kBrowseTitle)) {
                found = box;
                return true;
            }
        }
        return false;
    }, 30000);
    return found;
}

// The figure of a "%4.2fGB" text; -1 for anything else.
double Gigabytes(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && std::string(end) == "GB" ? value : -1;
}

double FreeGigabytes(const wchar_t* root) {
    ULARGE_INTEGER available{}, total{}, totalFree{};
    return ::GetDiskFreeSpaceExW(root, &available, &total, &totalFree) ? totalFree.QuadPart / 1073741824.0 : -1;
}

// "ChangeDir" opens the shell's browser, owned by the installer, on the folder typed into the edit:
// OK puts that folder into the edit and the free space of its drive beside it; Cancel changes nothing.
TEST_F(SetupWindowTest, ChangeDirBrowsesFromTheTypedFolder) {
    const std::wstring typed = L"C:\\浏览 测试";
    ASSERT_TRUE(::CreateDirectoryW(typed.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    RunningSetup setup;
    ASSERT_TRUE(setup.Started());
    ASSERT_FALSE(setup.WaitForPanel("PreSetupPanel").is_null()) << "no folder page";
    // Once the default folder is in, typed text stays.
    ASSERT_TRUE(WaitUntil([&] { return Text(SetupWindow(), "edit_path") != ""; }, 10000));
    const std::string shownText = Text(SetupWindow(), "left_volume_text");
    const double shownFree = Gigabytes(shownText);
    ASSERT_GT(shownFree, 0.0);
    HWND edit = FindEdit(setup.Id());
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str())));
    // 512 MB taken from the drive: a refreshed free space is far from the one shown (others write
    // to the disk too, so the refreshed text is compared with a fresh reading).
    unique_hfile filler(::CreateFileW((typed + L"\\filler.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    ASSERT_TRUE(filler);
    const std::string block(1 << 20, 'x');
    for (int i = 0; i < 512; ++i) {
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(filler.get(), block.data(), static_cast<DWORD>(block.size()), &written, nullptr));
    }
    ::FlushFileBuffers(filler.get());
    ASSERT_GT(shownFree - FreeGigabytes(L"C:\\"), 0.3);

    EXPECT_EQ(Uictl(L"click SetupWnd/ChangeDir").exitCode, 0u);
    tvsp::OpenMessageBox browser = WaitForFolderBrowser(setup.Id());
    ASSERT_NE(browser.window, nullptr) << "no folder browser";
    EXPECT_EQ(::GetWindow(browser.window, GW_OWNER), ::GetAncestor(edit, GA_ROOT));
    EXPECT_TRUE(tvsp::PressMessageBoxButton(browser, "OK"));
    json window;
    // The text must change too: another test's large file going away could bring the fresh
    // reading back to the text shown before, before the installer has refreshed it.
    EXPECT_TRUE(WaitUntil([&] {
        window = SetupWindow();
        const std::string shown = Text(window, "left_volume_text");
        return shown != shownText && std::abs(Gigabytes(shown) - FreeGigabytes(L"C:\\")) < 0.1;
    }, 30000)) << "free space not refreshed: " << Text(window, "left_volume_text");
    EXPECT_EQ(Text(window, "edit_path"), WideToUtf8(typed)) << "the preselected folder is the choice";
    // The space given back: a choice applied on Cancel would show in the free space.
    const std::string lowFree = Text(window, "left_volume_text");
    filler.reset();

    EXPECT_EQ(Uictl(L"click SetupWnd/ChangeDir").exitCode, 0u);
    browser = WaitForFolderBrowser(setup.Id());
    ASSERT_NE(browser.window, nullptr) << "no folder browser the second time";
    EXPECT_TRUE(tvsp::PressMessageBoxButton(browser, "Cancel"));
    ASSERT_TRUE(WaitUntil([&] { return tvsp::FindMessageBoxes(setup.Id()).empty(); }, 10000));
    ::Sleep(500);  // a choice would be applied right after the browser closes
    window = SetupWindow();
    EXPECT_EQ(Text(window, "edit_path"), WideToUtf8(typed));
    EXPECT_EQ(Text(window, "left_volume_text"), lowFree);
    EXPECT_EQ(Uictl(L"click SetupWnd/Close").exitCode, 0u);
    EXPECT_EQ(setup.WaitForExit(), 0u);
    ::RemoveDirectoryW(typed.c_str());
}

// The file names in <windows>\system32\drivers: the XP class-driver step must add none on 64-bit XP.
std::set<std::wstring> SystemDrivers() {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW data{};
    unique_hfind find(::FindFirstFileW((ShellFolder(CSIDL_WINDOWS) + L"\\system32\\drivers\\*").c_str(), &data));
    if (find) {
        do {
            names.insert(data.cFileName);
        } while (::FindNextFileW(find.get(), &data));
    }
    return names;
}

// The default folder through "Check" and "Setup": the success page, the files in place and
// visible, the registry written; after "Close" the work folder and the engine copies are gone.
TEST_F(SetupWindowTest, FreshInstallationIntoTheDefaultFolder) {
    if (PrefixWindowsVersion() == "winxp64") {
        OSVERSIONINFOW version{};
        version.dwOSVersionInfoSize = sizeof version;
        ASSERT_TRUE(::GetVersionExW(&version));
        ASSERT_EQ(version.dwMajorVersion, 5u) << "the prefix is not set to XP";
    }
    const std::set<std::wstring> drivers = SystemDrivers();
    ASSERT_FALSE(drivers.empty());
    const int before = static_cast<int>(WorkFolderPaths().size());
    RunningSetup setup;
    ASSERT_TRUE(setup.Started());
    json window = setup.WaitForPanel("PreSetupPanel");
    ASSERT_FALSE(window.is_null()) << "no folder page";
    EXPECT_FALSE(Visible(window, "cover_install_panel"));
    EXPECT_EQ(Text(window, "occupy_volume_text"), "15.4MB");
    EXPECT_NE(Text(window, "left_volume_text").find("GB"), std::string::npos);
    ASSERT_TRUE(WaitUntil([&] { return Text(SetupWindow(), "edit_path") == WideToUtf8(DefaultParent()); }, 10000))
        << Text(SetupWindow(), "edit_path");
    EXPECT_EQ(static_cast<int>(WorkFolderPaths().size()), before + 1);
    // The engine's copies beside the installer are hidden.
    const std::wstring copy = std::wstring(kRunFolder) + L"\\" + ProgramFiles::kSkinConfig;
    EXPECT_TRUE(::GetFileAttributesW(copy.c_str()) & FILE_ATTRIBUTE_HIDDEN);

    EXPECT_EQ(Uictl(L"click SetupWnd/Setup").exitCode, 0u);
    window = setup.WaitForPanel("install_success", 120000);
    ASSERT_FALSE(window.is_null()) << "no success page";
    EXPECT_EQ(Text(window, "successtitle"), WideToUtf8(SetupTexts::kDoneTitle));
    EXPECT_TRUE(Visible(window, "open_right_now"));
    EXPECT_TRUE(Visible(window, "Close"));
    EXPECT_FALSE(Visible(window, "installing_panel"));

    const std::wstring folder = DefaultInstallFolder();
    for (const wchar_t* name : {ProgramFiles::kTool, ProgramFiles::kSkinKernel, ProgramFiles::kUninstaller,
                                ProgramFiles::kSkinConfig, ProgramFiles::kSkinControls, ProgramFiles::kDriverInstaller}) {
        const DWORD attributes = ::GetFileAttributesW((folder + L"\\" + name).c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << WideToUtf8(name);
        EXPECT_FALSE(attributes & FILE_ATTRIBUTE_HIDDEN) << WideToUtf8(name);
    }
    EXPECT_FALSE(Exists(folder + L"\\setupskin.ufd")) << "the installer's own skin is not installed";
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kUserKey, kInstallPathValue), folder);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, kInstallLocationValue), folder);
    // Every uninstall value a REG_SZ with its terminator.
    for (const auto& [name, data] : std::initializer_list<std::pair<const wchar_t*, std::wstring>>{
             {L"DisplayName", L"TarvoSprout"},
             {L"UninstallString", folder + L"\\uninst.exe"},
             {L"DisplayIcon", folder + L"\\tarvosprout.exe"},
             {L"DisplayVersion", L"" TVSP_TOOL_DISPLAY_VERSION},
             {L"URLInfoAbout", kMakerWebsite},
             {L"Publisher", L"Tarvo安全中心"}}) {
        EXPECT_EQ(ReadTerminatedString(HKEY_LOCAL_MACHINE, kUninstallKey, name), data) << WideToUtf8(name);
    }
    EXPECT_EQ(ReadTerminatedString(HKEY_CURRENT_USER, kUserKey, kInstallPathValue), folder);
    EXPECT_EQ(SystemDrivers(), drivers) << "nothing copied into the system's drivers";
    // The three links resolve to their targets, working in the install folder.
    {
        const com_apartment com;
        const std::wstring menu = ShellFolder(CSIDL_PROGRAMS) + L"\\" + kMenuGroupFolder + L"\\" + kMenuFolder;
        const std::pair<std::wstring, std::wstring> links[] = {
            {ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\" + kShortcutName, folder + L"\\tarvosprout.exe"},
            {menu + L"\\" + kShortcutName, folder + L"\\tarvosprout.exe"},
            {menu + L"\\" + kUninstallShortcutName, folder + L"\\uninst.exe"}};
        for (const auto& [file, target] : links) {
            const tvsp::ShellLinkTarget link = tvsp::ResolveShellLink(file);
            EXPECT_EQ(::lstrcmpiW(link.path.c_str(), target.c_str()), 0) << WideToUtf8(file) << " " << WideToUtf8(link.path);
            EXPECT_EQ(::lstrcmpiW(link.workingDirectory.c_str(), folder.c_str()), 0) << WideToUtf8(file);
        }
    }

    EXPECT_EQ(Uictl(L"click SetupWnd/Close").exitCode, 0u);
    EXPECT_EQ(setup.WaitForExit(), 0u);
    EXPECT_EQ(static_cast<int>(WorkFolderPaths().size()), before) << "the work folder is deleted";
    EXPECT_FALSE(Exists(copy));
    EXPECT_FALSE(Exists(std::wstring(kRunFolder) + L"\\" + ProgramFiles::kSkinControls));
}

// A killed run leaves its hidden, read-only copies beside the installer: the next run still works.
TEST_F(SetupWindowTest, LeftOverHiddenCopiesDoNotTripALaterRun) {
    ::CreateDirectoryW(kRunFolder, nullptr);
    for (const wchar_t* name : {ProgramFiles::kSkinConfig, ProgramFiles::kSkinControls}) {
        const std::wstring path = std::wstring(kRunFolder) + L"\\" + name;
        unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));
        ASSERT_TRUE(file);
        file.reset();
        ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    }
    RunningSetup setup;
    ASSERT_TRUE(setup.Started());
    EXPECT_FALSE(setup.WaitForPanel("PreSetupPanel").is_null()) << "no window";
    // Overwritten with the payload's files, hidden again.
    for (const wchar_t* name : {ProgramFiles::kSkinConfig, ProgramFiles::kSkinControls}) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(::GetFileAttributesExW((std::wstring(kRunFolder) + L"\\" + name).c_str(), GetFileExInfoStandard,
                                           &data));
        EXPECT_GT(data.nFileSizeLow, 0u) << WideToUtf8(name);
        EXPECT_EQ(data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
                  static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    }
    EXPECT_EQ(Uictl(L"click SetupWnd/Close").exitCode, 0u);
    EXPECT_EQ(setup.WaitForExit(), 0u);
    EXPECT_FALSE(Exists(std::wstring(kRunFolder) + L"\\" + ProgramFiles::kSkinConfig));
}

// Types "C:\\" into the folder page and presses "Setup".
void SetupIntoDriveRoot(const RunningSetup& setup) {
    ASSERT_FALSE(setup.WaitForPanel("PreSetupPanel").is_null()) << "no folder page";
    ASSERT_TRUE(WaitUntil([&] { return Text(SetupWindow(), "edit_path") != ""; }, 10000));
    HWND edit = FindEdit(setup.Id());
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"C:\\")));
    EXPECT_EQ(Uictl(L"click SetupWnd/Setup").exitCode, 0u);
}

// Installs into C:\tarvosprout and waits for the success page.
void InstallIntoDriveRoot(const RunningSetup& setup) {
    SetupIntoDriveRoot(setup);
    if (::testing::Test::HasFatalFailure()) return;
    const json window = setup.WaitForPanel("install_success", 120000);
    ASSERT_FALSE(window.is_null()) << "no success page";
    ASSERT_TRUE(Visible(window, "open_right_now"));
}

// A drive root is accepted: the tool lands in "tarvosprout" on that drive.
TEST_F(SetupWindowTest, DriveRootInstallsIntoItsTarvosproutFolder) {
    RunningSetup setup;
    ASSERT_TRUE(setup.Started());
    InstallIntoDriveRoot(setup);
    if (HasFatalFailure()) return;
    EXPECT_EQ(Text(SetupWindow(), "successtitle"), WideToUtf8(SetupTexts::kDoneTitle));
    EXPECT_TRUE(Exists(L"C:\\tarvosprout\\tarvosprout.exe"));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kUserKey, kInstallPathValue), L"C:\\tarvosprout");
    EXPECT_EQ(Uictl(L"click SetupWnd/Close").exitCode, 0u);
    EXPECT_EQ(setup.WaitForExit(), 0u);
}

// The tool cannot be copied (a folder stands where it goes): the page says the installation did
// not complete and offers nothing to start.
TEST_F(SetupWindowTest, IncompleteInstallationShowsItsFailure) {
    ASSERT_TRUE(::CreateDirectoryW(L"C:\\tarvosprout", nullptr));
    ASSERT_TRUE(::CreateDirectoryW(L"C:\\tarvosprout\\tarvosprout.exe", nullptr));
    RunningSetup setup;
    ASSERT_TRUE(setup.Started());
    SetupIntoDriveRoot(setup);
    if (HasFatalFailure()) return;
    const json window = setup.WaitForPanel("install_success", 120000);
    ASSERT_FALSE(window.is_null()) << "no end page";
    EXPECT_EQ(Text(window, "successtitle"), WideToUtf8(SetupTexts::kFailedTitle));
    EXPECT_EQ(Text(window, "successtext"), WideToUtf8(SetupTexts::kFailedText));
    EXPECT_FALSE(Visible(window, "open_right_now"));
    EXPECT_TRUE(Visible(window, "failpicture"));
    EXPECT_FALSE(Visible(window, "donepicture"));
    EXPECT_EQ(Uictl(L"click SetupWnd/open_right_now").exitCode, 1u) << "hidden: nothing to start";
    EXPECT_EQ(Uictl(L"click SetupWnd/Close").exitCode, 0u);
    EXPECT_EQ(setup.WaitForExit(), 0u);
}

// An earlier installation: the cover page, never the folder page; "check_cover" governs both
// buttons; the installation goes to the registered folder unchanged.
TEST_F(SetupWindowTest, CoverInstallIntoTheRegisteredFolder) {
    const std::wstring registered = DefaultParent() + L"\\已安装";
    ASSERT_EQ(::SHCreateDirectoryExW(nullptr, registered.c_str(), nullptr), ERROR_SUCCESS);
    {
        unique_hkey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kUserKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                                    nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key.get(), kInstallPathValue, 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(registered.c_str()),
                                   static_cast<DWORD>((registered.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    RunningSetup setup;
    ASSERT_TRUE(setup.Started());
    json window = setup.WaitForPanel("cover_install_panel");
    ASSERT_FALSE(window.is_null()) << "no cover page";
    EXPECT_FALSE(Visible(window, "PreSetupPanel"));
    EXPECT_TRUE(Enabled(window, "cover_install"));
    EXPECT_TRUE(Enabled(window, "update_now"));
    EXPECT_EQ(Uictl(L"toggle SetupWnd/check_cover").exitCode, 0u);
    window = SetupWindow();
    EXPECT_FALSE(Enabled(window, "cover_install"));
    EXPECT_FALSE(Enabled(window, "update_now"));
    EXPECT_EQ(Uictl(L"toggle SetupWnd/check_cover").exitCode, 0u);
    EXPECT_TRUE(Enabled(SetupWindow(), "update_now"));

    EXPECT_EQ(Uictl(L"click SetupWnd/update_now").exitCode, 0u);
    window = setup.WaitForPanel("install_success", 120000);
    ASSERT_FALSE(window.is_null()) << "no success page";
    EXPECT_EQ(Text(window, "successtitle"), WideToUtf8(SetupTexts::kDoneTitle));
    EXPECT_TRUE(Exists(registered + L"\\tarvosprout.exe"));
    EXPECT_FALSE(Exists(registered + L"\\tarvosprout")) << "the registered folder is used unchanged";
    EXPECT_EQ(Uictl(L"click SetupWnd/Close").exitCode, 0u);
    EXPECT_EQ(setup.WaitForExit(), 0u);
}

// "open_right_now" starts the signed tool from the install folder, and the installer ends.
TEST_F(SetupWindowTest, OpenRightNowStartsTheInstalledTool) {
    RunningSetup setup;
    ASSERT_TRUE(setup.Started());
    InstallIntoDriveRoot(setup);
    if (HasFatalFailure()) return;
    EXPECT_EQ(Uictl(L"click SetupWnd/open_right_now").exitCode, 0u);
    EXPECT_EQ(setup.WaitForExit(), 0u);
    EXPECT_TRUE(tvsp::FindMessageBoxes(setup.Id()).empty());
    // The tool shows it runs by its single-instance mutex.
    EXPECT_TRUE(WaitUntil([] {
        unique_handle tool(::OpenMutexW(SYNCHRONIZE, FALSE, kToolInstanceMutexName));
        return static_cast<bool>(tool);
    }, 30000)) << "the tool did not start";
    EXPECT_EQ(EndRunningTools(), 1);
}

// A tampered tool is refused with its box; the installer still ends.
TEST_F(SetupWindowTest, TamperedToolIsNotStarted) {
    RunningSetup setup;
    ASSERT_TRUE(setup.Started());
    InstallIntoDriveRoot(setup);
    if (HasFatalFailure()) return;
    {
        unique_hfile tool(::CreateFileW(L"C:\\tarvosprout\\tarvosprout.exe", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(tool);
        // A byte well inside the code, which the signature's hash covers.
        ASSERT_NE(::SetFilePointer(tool.get(), 4096, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
        unsigned char byte = 0;
        DWORD n = 0;
        ASSERT_TRUE(::ReadFile(tool.get(), &byte, 1, &n, nullptr) && n == 1);
        byte ^= 0xFF;
        ASSERT_NE(::SetFilePointer(tool.get(), 4096, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
        ASSERT_TRUE(::WriteFile(tool.get(), &byte, 1, &n, nullptr) && n == 1);
    }
    EXPECT_EQ(Uictl(L"click SetupWnd/open_right_now").exitCode, 0u);  // replies before the handler runs
    const tvsp::OpenMessageBox box = setup.WaitForBox();
    ASSERT_NE(box.window, nullptr) << "no box";
    EXPECT_EQ(box.text, SetupTexts::kUnsigned);
    EXPECT_EQ(box.caption, kMessageCaption);
    EXPECT_TRUE(tvsp::PressMessageBoxButton(box, "OK"));
    EXPECT_EQ(setup.WaitForExit(), 0u);
    EXPECT_EQ(EndRunningTools(), 0) << "a tampered tool was started";
}

// The uninstaller shipped in the payload removes a real installation: what it cannot delete while
// it runs (itself and the engine it loaded) is scheduled, nothing else of ours is left.
TEST_F(SetupWindowTest, UninstallerRemovesARealInstallation) {
    {
        RunningSetup setup;
        ASSERT_TRUE(setup.Started());
        InstallIntoDriveRoot(setup);
        if (HasFatalFailure()) return;
        EXPECT_EQ(Uictl(L"click SetupWnd/Close").exitCode, 0u);
        ASSERT_EQ(setup.WaitForExit(), 0u);
    }
    ::SetEnvironmentVariableW(L"TVSP_AUTOMATION", NewPipe());
    std::wstring commandLine = L"\"C:\\tarvosprout\\uninst.exe\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, L"C:\\tarvosprout",
                                 &si, &pi));
    unique_handle process(pi.hProcess);
    unique_handle thread(pi.hThread);
    json window;
    ASSERT_TRUE(WaitUntil([&] {
        window = tvsp::SnapshotWindow(Uictl(L"snapshot"), "UninstWnd");
        return Visible(window, "confirmpage") && window.value("visible", false);
    }, 30000)) << "no uninstaller window";
    EXPECT_EQ(Uictl(L"click UninstWnd/ok").exitCode, 0u);
    ASSERT_TRUE(WaitUntil([&] {
        window = tvsp::SnapshotWindow(Uictl(L"snapshot"), "UninstWnd");
        return Visible(window, "resultpage");
    }, 60000)) << "no result page";
    EXPECT_TRUE(Visible(window, "donepicture"));
    EXPECT_EQ(Uictl(L"click UninstWnd/finish").exitCode, 0u);
    EXPECT_EQ(::WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);

    // Left in the folder: only modules the running uninstaller held, none of them a folder.
    WIN32_FIND_DATAW data{};
    unique_hfind find(::FindFirstFileW(L"C:\\tarvosprout\\*", &data));
    if (find) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) << WideToUtf8(name);
            EXPECT_TRUE(name == L"uninst.exe" || name == L"UiFeatureKernel.dll" || name == L"UiFeatureNormalControl.dll" ||
                        name == L"UiFeatureEffect.dll")
                << WideToUtf8(name);
        } while (::FindNextFileW(find.get(), &data));
    }
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kUserKey, kInstallPathValue), L"<absent>");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, kInstallLocationValue), L"<absent>");
    EXPECT_FALSE(Exists(ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\" + kShortcutName));
    EXPECT_FALSE(Exists(ShellFolder(CSIDL_PROGRAMS) + L"\\" + kMenuGroupFolder + L"\\" + kMenuFolder));
}

// The installer whose payload carries the recording fixture as the vendor's driver installer:
// it writes installer-record.txt beside itself and waits for the event installer-hold.txt names.
constexpr wchar_t kFixtureSetup[] = L"setup_fixture.exe";
constexpr wchar_t kHoldEvent[] = L"tvsp-setup-window-test-hold";

void Put(const std::wstring& path, const std::string& text) {
    ASSERT_TRUE(WriteWholeFile(path, text.data(), text.size())) << WideToUtf8(path);
}
std::wstring ModRiskFileTypes() { return ReadString(HKEY_CURRENT_USER, kAssociationsKey, L"ModRiskFileTypes"); }

std::string InstallerRecord(const std::wstring& work) { return tvsp::ReadAll(work + L"\\driver\\installer-record.txt"); }

void RegisterInstallPath(const std::wstring& folder) {
    unique_hkey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kUserKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key.get(), kInstallPathValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                               static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

// A fresh installation runs the vendor's installer quoted with "-a", the prompt suspended only
// meanwhile. While it is held the bar stops at 100% with no end page; the success page follows
// once it ends.
TEST_F(SetupWindowTest, FreshInstallationRunsTheVendorInstallerAndEndsAfterIt) {
    ASSERT_EQ(ModRiskFileTypes(), L"<absent>");
    unique_handle release(::CreateEventW(nullptr, TRUE, FALSE, kHoldEvent));
    ASSERT_TRUE(release);
    const std::vector<std::wstring> before = WorkFolderPaths();
    RunningSetup setup(kFixtureSetup);
    ASSERT_TRUE(setup.Started());
    ASSERT_FALSE(setup.WaitForPanel("PreSetupPanel").is_null()) << "no folder page";
    const std::wstring work = NewWorkFolder(before);
    ASSERT_FALSE(work.empty()) << "no work folder";
    Put(work + L"\\driver\\installer-hold.txt", WideToUtf8(kHoldEvent));
    if (HasFatalFailure()) return;
    SetupIntoDriveRoot(setup);
    if (HasFatalFailure()) return;

    wchar_t percent[32] = {};
    std::swprintf(percent, std::size(percent), SetupTexts::kPercentFormat, 100);
    const std::string full = WideToUtf8(percent);
    json window;
    ASSERT_TRUE(WaitUntil([&] {
        window = SetupWindow();
        return Text(window, "installing_percent") == full;
    }, 60000)) << "the bar did not reach 100%: " << Text(window, "installing_percent");
    ASSERT_TRUE(WaitUntil([&] { return InstallerRecord(work) != "<missing>"; }, 20000)) << "the installer did not start";
    EXPECT_EQ(ModRiskFileTypes(), L".exe") << "suspended while the installer runs";
    // The worker waits up to 30 s for the installer; these looks come well within that.
    for (int look = 0; look < 5; ++look) {
        window = SetupWindow();
        EXPECT_TRUE(Visible(window, "installing_panel"));
        EXPECT_FALSE(Visible(window, "install_success")) << "an end page while the worker waits";
        EXPECT_EQ(Text(window, "installing_percent"), full);
        ::Sleep(200);
    }

    ASSERT_TRUE(::SetEvent(release.get()));
    window = setup.WaitForPanel("install_success", 120000);
    ASSERT_FALSE(window.is_null()) << "no success page after the installer ended";
    EXPECT_EQ(Text(window, "successtitle"), WideToUtf8(SetupTexts::kDoneTitle));
    // Read before "Close": the work folder goes with the installer.
    EXPECT_EQ(InstallerRecord(work), "\"" + WideToUtf8(work) + "\\driver\\InstallDriver.exe\" -a\n" +
                                         std::to_string(REG_SZ) + " 10 .exe");
    EXPECT_EQ(ModRiskFileTypes(), L"<absent>") << "put back as it was";
    EXPECT_EQ(Uictl(L"click SetupWnd/Close").exitCode, 0u);
    EXPECT_EQ(setup.WaitForExit(), 0u);
}

// An earlier installation: the cover page only. Without a wrong network driver package the
// vendor's installer does not run; with one it is removed and the installer runs. The old data
// file is deleted, or moved aside to its timestamped name when it is read-only.
TEST_F(SetupWindowTest, CoverInstallRunsTheVendorInstallerOnlyAfterRemovingAWrongPackage) {
    const std::wstring registered = DefaultParent() + L"\\已安装";
    const std::wstring dataFile = registered + L"\\" + ProgramFiles::kDataFile;
    const std::regex movedName(R"(sproutdata-\d{4}(-\d{1,2}){5}\.ini)");
    for (const bool planted : {false, true}) {
        SCOPED_TRACE(planted ? "a wrong package, a read-only data file" : "no wrong package, a data file");
        Clean();
        ASSERT_EQ(::SHCreateDirectoryExW(nullptr, registered.c_str(), nullptr), ERROR_SUCCESS);
        RegisterInstallPath(registered);
        Put(dataFile, "older data");
        if (planted) {
            ASSERT_TRUE(::SetFileAttributesW(dataFile.c_str(), FILE_ATTRIBUTE_READONLY));
            Put(tvsp::WrongPackageInfPath(), tvsp::WrongPackageInfText());
        }
        if (HasFatalFailure()) return;
        const std::vector<std::wstring> before = WorkFolderPaths();
        RunningSetup setup(kFixtureSetup);
        ASSERT_TRUE(setup.Started());
        json window = setup.WaitForPanel("cover_install_panel");
        ASSERT_FALSE(window.is_null()) << "no cover page";
        EXPECT_FALSE(Visible(window, "PreSetupPanel"));
        const std::wstring work = NewWorkFolder(before);
        ASSERT_FALSE(work.empty()) << "no work folder";
        EXPECT_EQ(Uictl(L"click SetupWnd/cover_install").exitCode, 0u);
        window = setup.WaitForPanel("install_success", 120000);
        ASSERT_FALSE(window.is_null()) << "no success page";
        EXPECT_EQ(Text(window, "successtitle"), WideToUtf8(SetupTexts::kDoneTitle));
        EXPECT_EQ(InstallerRecord(work) != "<missing>", planted) << "the vendor's installer ran";
        EXPECT_FALSE(Exists(tvsp::WrongPackageInfPath()));
        EXPECT_EQ(ModRiskFileTypes(), L"<absent>");

        EXPECT_FALSE(Exists(dataFile));
        std::vector<std::string> moved;
        WIN32_FIND_DATAW data{};
        unique_hfind find(::FindFirstFileW((registered + L"\\sproutdata*").c_str(), &data));
        if (find) {
            do {
                moved.push_back(WideToUtf8(data.cFileName));
            } while (::FindNextFileW(find.get(), &data));
        }
        ASSERT_EQ(moved.size(), planted ? 1u : 0u);
        if (planted) {
            EXPECT_TRUE(std::regex_match(moved[0], movedName)) << moved[0];
            EXPECT_EQ(tvsp::ReadAll(registered + L"\\" + Utf8ToWide(moved[0])), "older data");
        }
        EXPECT_EQ(Uictl(L"click SetupWnd/Close").exitCode, 0u);
        EXPECT_EQ(setup.WaitForExit(), 0u);
    }
}

}  // namespace
