// Benchmark, not a test: the real setup.exe with the whole payload, from its start and from the
// click on "Setup" to the success page, beside the time the installation steps take on their own
// (the same payload, installed in-process). Prints figures; asserts only that each run ended.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/install_layout.h"
#include "base/win/handle.h"
#include "base/win/program_folder.h"
#include "device/system_utils.h"
#include "setup/install_actions.h"
#include "testing/uictl/uictl_runner.h"
#include "testing/wine/automated_process.h"
#include "testing/wine/test_files.h"
#include "setup/tests/win/installer_test_support.h"

namespace {

using nlohmann::json;
using namespace TVSP;
using tvsp::DeleteTree;
using tvsp::FindEdit;
using tvsp::ShellFolder;
using tvsp::WaitUntil;

constexpr wchar_t kPipe[] = L"tvsp-setup-bench";
constexpr wchar_t kRunFolder[] = L"C:\\setup-bench";
constexpr wchar_t kWindowInstall[] = L"C:\\tvsp-bench\\window";
constexpr wchar_t kStepsInstall[] = L"C:\\tvsp-bench\\steps";
constexpr wchar_t kPayloadCopy[] = L"C:\\tvsp-bench\\payload";
// What the window waits on purpose: the bar moves one step per 20 ms tick up to 100.
constexpr DWORD kBarFloorMs = 100 * 20;
constexpr int kRuns = 3;

// Starts from nothing installed: the next run is a new installation with the vendor's installer.
void ForgetInstallations() {
    DeleteTree(L"C:\\tvsp-bench");
    DeleteTree(kRunFolder);
    ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, InstallLayout::kUninstallKey);
    ::SHDeleteKeyW(HKEY_CURRENT_USER, InstallLayout::kUserKey);
    ::DeleteFileW((ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\" + InstallLayout::kShortcutName).c_str());
    DeleteTree(ShellFolder(CSIDL_PROGRAMS) + L"\\" + InstallLayout::kMenuGroupFolder);
}

tvsp::UictlResult Uictl(const std::wstring& arguments) {
    return tvsp::RunUictl(GetOwnDirectory() + L"\\..\\testing\\uictl\\uictl.exe", kPipe, arguments);
}

bool PanelVisible(const char* panel) {
    const json window = tvsp::SnapshotWindow(Uictl(L"snapshot"), "SetupWnd");
    if (!window.is_object() || !window.value("visible", false) || !window.contains("controls")) return false;
    const json* c = tvsp::FindSnapshotControl(window["controls"], panel);
    return c && c->value("visible", false);
}

struct WindowRun {
    DWORD startToFolderPage = 0;
    DWORD setupToInstalling = 0;
    DWORD setupToSuccess = 0;
};

DWORD Median(std::vector<DWORD> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

TEST(SetupBench, SetupToTheSuccessPageBesideTheStepsAlone) {
    std::vector<WindowRun> windowRuns;
    std::vector<DWORD> stepsRuns;
    for (int run = 0; run < kRuns; ++run) {
        ForgetInstallations();
        ASSERT_TRUE(::CreateDirectoryW(kRunFolder, nullptr));
        const std::wstring exe = std::wstring(kRunFolder) + L"\\setup.exe";
        ASSERT_TRUE(::CopyFileW((GetOwnDirectory() + L"\\setup.exe").c_str(), exe.c_str(), FALSE));

        WindowRun figures;
        const std::vector<std::wstring> workBefore = tvsp::WorkFolderPaths();
        const DWORD started = ::GetTickCount();
        tvsp::AutomatedProcess setup(exe, kRunFolder, kPipe);
        ASSERT_TRUE(setup.Started());
        ASSERT_TRUE(WaitUntil([] { return PanelVisible("PreSetupPanel"); }, 60000)) << "no folder page";
        figures.startToFolderPage = ::GetTickCount() - started;
        // Timer 1002 fills the edit once; the folder is typed after it.
        HWND edit = nullptr;
        ASSERT_TRUE(WaitUntil([&] {
            // Asked by message: GetWindowText does not ask another process's edit.
            return (edit = FindEdit(setup.Id())) != nullptr && ::SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0) > 0;
        }, 10000));
        ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kWindowInstall));

        const DWORD click = ::GetTickCount();
        ASSERT_EQ(Uictl(L"click SetupWnd/Setup").exitCode, 0u);
        ASSERT_TRUE(WaitUntil([] { return PanelVisible("installing_panel") || PanelVisible("install_success"); }, 30000));
        figures.setupToInstalling = ::GetTickCount() - click;
        ASSERT_TRUE(WaitUntil([] { return PanelVisible("install_success"); }, 120000)) << "no success page";
        figures.setupToSuccess = ::GetTickCount() - click;
        windowRuns.push_back(figures);

        // The same unpacked payload, installed again by the steps alone into another folder.
        const std::wstring work = tvsp::NewWorkFolder(workBefore);
        ASSERT_FALSE(work.empty()) << "no work folder of this run";
        ASSERT_TRUE(CopyDirectory(work, kPayloadCopy));
        ASSERT_EQ(Uictl(L"click SetupWnd/Close").exitCode, 0u);
        ASSERT_EQ(setup.WaitForExit(30000), 0u);

        ::SHDeleteKeyW(HKEY_CURRENT_USER, InstallLayout::kUserKey);  // a new installation again
        Setup::InstallRequest request;
        request.workFolder = kPayloadCopy;
        request.installFolder = kStepsInstall;
        request.earlierInstallation = Setup::EarlierInstallationPresent();
        const DWORD stepsStart = ::GetTickCount();
        const Setup::InstallReport report = Setup::RunInstallActions(request);
        stepsRuns.push_back(::GetTickCount() - stepsStart);
        ASSERT_TRUE(report.completed);
        ASSERT_TRUE(report.vendorInstallerWanted);
    }
    ForgetInstallations();

    std::vector<DWORD> start, installing, success;
    for (const WindowRun& r : windowRuns) {
        start.push_back(r.startToFolderPage);
        installing.push_back(r.setupToInstalling);
        success.push_back(r.setupToSuccess);
    }
    std::printf("\nsetup.exe, whole payload, %d runs (median; each figure carries up to one uictl poll, ~100-300 ms)\n",
                kRuns);
    std::printf("| figure | ms |\n|---|---|\n");
    std::printf("| start to the folder page (mutexes, payload written and unpacked, window) | %lu |\n",
                static_cast<unsigned long>(Median(start)));
    std::printf("| \"Setup\" to the installing page | %lu |\n", static_cast<unsigned long>(Median(installing)));
    std::printf("| \"Setup\" to the success page | %lu |\n", static_cast<unsigned long>(Median(success)));
    std::printf("| the steps alone (same payload, in-process, new installation) | %lu |\n",
                static_cast<unsigned long>(Median(stepsRuns)));
    std::printf("| the bar's own pace (100 ticks of 20 ms), the floor of the window's figure | %lu |\n",
                static_cast<unsigned long>(kBarFloorMs));
    for (int run = 0; run < kRuns; ++run) {
        std::printf("run %d: start %lu, installing %lu, success %lu, steps %lu\n", run + 1,
                    static_cast<unsigned long>(start[run]), static_cast<unsigned long>(installing[run]),
                    static_cast<unsigned long>(success[run]), static_cast<unsigned long>(stepsRuns[run]));
    }
}
