// The main window in-process: status refresh on the real skin, tabs, commands and their boxes,
// closing during a flash.
#include <gtest/gtest.h>
#include <windows.h>
#include <dbt.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/win/file_io.h"
#include "device/system_utils.h"
#include "device/usb_tree_scan.h"
#include "base/win/strings.h"
#include "shell/ini_files.h"
#include "testing/uictl/message_boxes.h"
#include "testing/wine/window_capture.h"
#include "testing/wine/window_test_support.h"
#include "ui/main_window.h"
#include "ui/tests/win/recording_main_window.h"

using namespace TVSP;

namespace {

using tvsp::Pump;

// Presses a button of the next message box this process shows, from another thread, and keeps
// what the box said.
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::string button) : button_(std::move(button)) {
        thread_ = std::thread([this] {
            const DWORD start = ::GetTickCount();
            while (::GetTickCount() - start < 20000) {
                const auto boxes = tvsp::FindMessageBoxes(::GetCurrentProcessId());
                if (!boxes.empty()) {
                    caption = boxes[0].caption;
                    text = boxes[0].text;
                    for (const auto& b : boxes[0].buttons) buttons.push_back(b.name);
                    tvsp::PressMessageBoxButton(boxes[0], button_);
                    return;
                }
                ::Sleep(50);
            }
        });
    }
    ~BoxAnswerer() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    std::wstring caption = L"<no box>";
    std::wstring text = L"<no box>";
    std::vector<std::string> buttons;

private:
    std::string button_;
    std::thread thread_;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::DeleteFileW(ProgramFolderFile(L"sproutdata.ini").c_str());
        window = new TVSP_MainWindow();
        ASSERT_TRUE(QuietUpdateServer());
        ASSERT_TRUE(window->Create(::GetCurrentThreadId()));
        Pump(300);
    }
    void TearDown() override {
        // Shutdown() ends the skin kernel for the process, as the tool does once at exit; tests
        // open several windows in one process, so they only destroy theirs.
        DestroyTestMainWindow(window);
    }

    // "panel/name" looks inside a panel: "Version" and "label" also name other controls.
    IControlBase* Control(const std::string& path) {
        const size_t slash = path.find('/');
        if (slash == std::string::npos) return window->GetSkinWindow()->FindControl(path.c_str());
        IControlBase* panel = window->GetSkinWindow()->FindControl(path.substr(0, slash).c_str());
        return panel ? panel->FindDescendant(path.substr(slash + 1).c_str()) : nullptr;
    }
    std::wstring Text(const char* name) {
        IControlBase* c = Control(name);
        if (!c) return L"<missing>";
        char buffer[512] = {};
        c->GetText(buffer, sizeof buffer);
        return AnsiToWide(buffer);
    }
    bool Visible(const char* name) {
        IControlBase* c = Control(name);
        return c && c->IsVisible();
    }
    void Click(const char* name) {
        IControlBase* c = Control(name);
        ASSERT_NE(c, nullptr) << name;
        window->OnControlMessage(c, UIF_MSG_BUTTON_CLICKED, 0, 0);
    }
    // The window destroys a closed guide on its 200 ms timer, which comes once the closing guide's
    // own messages are through.
    void PumpUntilGuideGone() {
        const DWORD start = ::GetTickCount();
        while (window->Guide() && ::GetTickCount() - start < 10000) Pump(50);
    }
    bool QuitPosted() {
        MSG msg;
        return ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
    }

    TVSP_MainWindow* window = nullptr;
};

}  // namespace

TEST_F(MainWindowTest, StartsDisconnectedWithVersionHintAndTools) {
    EXPECT_TRUE(::IsWindowVisible(window->GetHandle()));
    EXPECT_EQ(Text("BottomPanel/Version"), L"客户端版本：V" + GetOwnVersion() + L" beta");
    EXPECT_EQ(Text("battery_hint"), L"刷机前请保持设备电量至少一格");
    EXPECT_EQ(Text("WatchTitle"), L"TarvoSprout（未连接）");
    EXPECT_EQ(Text("Status"), L"未连接");
    EXPECT_TRUE(Visible("dot_hint"));
    EXPECT_TRUE(Visible("panel-update"));
    EXPECT_FALSE(Visible("panel-help"));
}

TEST_F(MainWindowTest, StatusRefreshFillsTheRealControls) {
    LatestFirmware latest;
    latest.version = "1.5.0";
    latest.releaseTime = 951782400;
    latest.note1 = L"修复蓝牙断连";
    window->SetLatestFirmware(latest);
    window->Watch().TakeOver(5, "watchk7_mt60d_ublox", "1.4.9");
    window->SetDisplayState(DisplayState::Ready);
    window->RefreshStatus();
    EXPECT_EQ(Text("version"), L"1.5.0");
    EXPECT_EQ(Text("updatedatevalue"), L"2000年02月29日");
    EXPECT_EQ(Text("updatelogvalue1"), L"1. 修复蓝牙断连");
    EXPECT_FALSE(Visible("updatelogvalue2"));
    EXPECT_EQ(Text("detail"), L"当前固件版本：1.4.9, 可一键升级");
    EXPECT_TRUE(Visible("updateButton"));
    EXPECT_TRUE(Visible("watchconnect"));
    EXPECT_FALSE(Visible("watchdisconnect"));
    EXPECT_EQ(Text("Status"), L"已连接TarvoSprout");

    window->ReportFailure(L"升级失败，请重新连接手表", false);
    EXPECT_FALSE(Visible("panel-ready"));
    EXPECT_TRUE(Visible("panel-fail"));
    EXPECT_EQ(Text("panel-fail/label"), L"升级失败，请重新连接手表");
    EXPECT_TRUE(Visible("retry"));
    EXPECT_FALSE(Visible("back"));

    window->ReportFailure(L"升级失败", true);
    EXPECT_TRUE(Visible("back"));
    Click("back");
    EXPECT_EQ(window->GetDisplayState(), DisplayState::Ready);
    EXPECT_TRUE(Visible("panel-ready"));
    EXPECT_FALSE(Visible("panel-fail"));

    window->WatchDisconnected();
    EXPECT_EQ(window->GetDisplayState(), DisplayState::Disconnected);
    EXPECT_EQ(Text("Status"), L"未连接");
    EXPECT_FALSE(Visible("updateButton"));
}

TEST_F(MainWindowTest, TabsSwitchPagesAndRememberTheTools) {
    Click("ToolsBtn");
    EXPECT_TRUE(Visible("panel-help"));
    EXPECT_FALSE(Visible("panel-update"));
    EXPECT_FALSE(Visible("dot_hint"));
    EXPECT_TRUE(SproutData::ReadTutorialClicked());
    Click("ToolsBtn");  // already shown: nothing changes
    EXPECT_TRUE(Visible("panel-help"));
    Click("OneKeyShuajiBtn");
    EXPECT_TRUE(Visible("panel-update"));
    EXPECT_FALSE(Visible("panel-help"));
}

TEST_F(MainWindowTest, CheckForUpdatesSaysWhetherAnUpdateWaits) {
    const std::wstring folder = GetOwnDirectory() + L"\\update";
    const std::wstring cabinet = folder + L"\\updatefiles.cab";
    ::DeleteFileW(cabinet.c_str());
    {
        BoxAnswerer answer("OK");
        Click("jiancegengxin");
        answer.Join();
        EXPECT_EQ(answer.caption, L"TarvoSprout");
        EXPECT_EQ(answer.text, L"已经是最新版本。");
    }
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(cabinet, "MSCF", 4));
    {
        BoxAnswerer answer("OK");
        Click("jiancegengxin");
        answer.Join();
        EXPECT_EQ(answer.text, L"请重启Sprout以便完成升级。");
    }
    DeleteDirectory(folder);
}

TEST_F(MainWindowTest, ClosingDuringAFlashAsksFirst) {
    window->SetFlashRunning(true);
    {
        BoxAnswerer answer("No");
        Click("TB_ClostBtn");
        answer.Join();
        EXPECT_EQ(answer.text, L"正在刷机，确认要退出吗？");
        EXPECT_EQ(answer.buttons, (std::vector<std::string>{"Yes", "No"}));
    }
    Pump(100);
    EXPECT_FALSE(QuitPosted());
    EXPECT_TRUE(::IsWindow(window->GetHandle()));
    {
        BoxAnswerer answer("Yes");
        Click("TB_ClostBtn");
        answer.Join();
    }
    EXPECT_TRUE(QuitPosted());
}

TEST_F(MainWindowTest, SystemCloseRequestsAskDuringAFlash) {
    // As Alt+F4 or the taskbar (SC_CLOSE) and another program (WM_CLOSE) deliver them.
    const std::pair<UINT, WPARAM> requests[] = {{WM_SYSCOMMAND, SC_CLOSE}, {WM_CLOSE, 0}};
    window->SetFlashRunning(true);
    for (const auto& [message, wParam] : requests) {
        SCOPED_TRACE(message);
        BoxAnswerer answer("No");
        ASSERT_TRUE(::PostMessageW(window->GetHandle(), message, wParam, 0));
        Pump(200);
        answer.Join();
        EXPECT_EQ(answer.text, L"正在刷机，确认要退出吗？");
        Pump(100);
        EXPECT_FALSE(QuitPosted());
        EXPECT_TRUE(::IsWindow(window->GetHandle())) << "the window went while the tool stays";
    }
    {
        BoxAnswerer answer("Yes");
        ASSERT_TRUE(::PostMessageW(window->GetHandle(), WM_SYSCOMMAND, SC_CLOSE, 0));
        Pump(200);
        answer.Join();
    }
    EXPECT_TRUE(QuitPosted());
}

TEST_F(MainWindowTest, AWindowDestroyedAnyWayEndsTheLoop) {
    ASSERT_TRUE(::DestroyWindow(window->GetHandle()));
    EXPECT_TRUE(QuitPosted());
}

TEST_F(MainWindowTest, ClosingWhileIdleAsksNothing) {
    Click("TB_ClostBtn");
    EXPECT_TRUE(QuitPosted());
    EXPECT_TRUE(tvsp::FindMessageBoxes(::GetCurrentProcessId()).empty());
}

namespace {

// Opens the connection guide's skin window on its first page, only to be looked at.
class GuidePreview : public CUiFeatureWindow {
protected:
    void OnCreated() override {
        if (auto* panel = Find<ICtrlPanel>("connecthint")) panel->SetVisible(TRUE, TRUE);
    }
};

}  // namespace

// With TVSP_SCREENSHOT_DIR set (the test command sets it), saves what the user sees in each state.
TEST_F(MainWindowTest, Screenshots) {
    const std::wstring folder = tvsp::ScreenshotFolder();
    if (folder.empty()) return;  // screenshots are taken by the test command only
    tvsp::GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.Ok());
    ::SetWindowPos(window->GetHandle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    const auto shoot = [&](HWND hwnd, const wchar_t* name) {
        Pump(700);
        EXPECT_TRUE(tvsp::SaveWindowPng(hwnd, folder + L"\\" + name)) << std::string(name, name + wcslen(name));
    };
    shoot(window->GetHandle(), L"main-not-connected.png");

    LatestFirmware latest;
    latest.version = "2.3.1";
    latest.releaseTime = 1796601599;
    latest.note1 = L"优化定位精度，续航更长久";
    latest.note2 = L"修复部分手表无法接收语音的问题";
    window->SetLatestFirmware(latest);
    window->Watch().TakeOver(5, "watchk7_mt60d_ublox", "1.8.0");
    window->ShowBatteryHint(L"刷机前请保持设备电量在50%以上");
    window->SetDisplayState(DisplayState::Ready);
    window->RefreshStatus();
    shoot(window->GetHandle(), L"main-upgrade-offered.png");

    window->ReportFailure(L"下载固件失败，请检查网络后重试", false);
    shoot(window->GetHandle(), L"main-failed.png");

    Click("ToolsBtn");
    shoot(window->GetHandle(), L"main-help.png");

    GuidePreview guide;
    ASSERT_TRUE(guide.CreateSkinnedWindow(L"UiFeatureKernel.dll", (GetOwnDirectory() + L"\\TVSPMainWindow.ufd").c_str(),
                                          "connectguide", nullptr, 0, 0, 0, 0, SW_SHOWNORMAL, WS_THICKFRAME, nullptr,
                                          false));
    shoot(guide.GetHandle(), L"guide-first-page.png");
}

// The restart prompt the workflow asks for: opened on the window thread as the guide's second
// mode, left through "i_known", destroyed by the window's close timer.
TEST_F(MainWindowTest, RestartPromptOpensAndLeavesThroughItsButton) {
    ASSERT_TRUE(::PostMessageW(window->GetHandle(), kMsgOpenRestartPrompt, 0, 0));
    Pump(500);
    CConnectGuideWnd* guide = window->Guide();
    ASSERT_NE(guide, nullptr);
    EXPECT_EQ(guide->GetMode(), CConnectGuideWnd::Mode::RestartPrompt);
    EXPECT_EQ(PublishedGuideWindow(), guide->GetHandle());
    IUiSkinWindow* skin = guide->GetSkinWindow();
    ASSERT_NE(skin, nullptr);
    EXPECT_TRUE(skin->FindControl("prompt_restart")->IsVisible());
    EXPECT_FALSE(skin->FindControl("connecthint")->IsVisible());
    char title[64] = {};
    skin->FindControl("title")->GetText(title, sizeof title);
    EXPECT_EQ(AnsiToWide(title), L"提示");

    // A second request brings the open one forward instead of stacking another.
    ASSERT_TRUE(::PostMessageW(window->GetHandle(), kMsgOpenRestartPrompt, 0, 0));
    Pump(300);
    EXPECT_EQ(window->Guide(), guide);

    guide->OnControlMessage(skin->FindControl("i_known"), UIF_MSG_BUTTON_CLICKED, 0, 0);
    PumpUntilGuideGone();
    EXPECT_EQ(window->Guide(), nullptr);
    EXPECT_EQ(PublishedGuideWindow(), nullptr);
}

// Any thread may close the guide (the download engine does once the download port is there).
TEST_F(MainWindowTest, TheGuideClosesWhenAskedFromAnotherThread) {
    ASSERT_TRUE(::PostMessageW(window->GetHandle(), kMsgOpenRestartPrompt, 0, 0));
    Pump(500);
    ASSERT_NE(window->Guide(), nullptr);
    std::thread([&] { window->CloseConnectionGuideIfOpen(); }).join();
    PumpUntilGuideGone();
    EXPECT_EQ(window->Guide(), nullptr);
}

// The flashed watch never came back: the wait ends with the failure and every rejoin flag gone,
// so a watch plugged in later is simply detected again.
TEST_F(MainWindowTest, AWatchThatNeverReturnsEndsTheWait) {
    window->Watch().TakeOver(5, "watchk7_mt60d_ublox", "1.0.0");
    window->SetFlashRunning(true);
    ProgressRecord success{};
    success.kind = kProgressEnd;
    window->Workflow().OnProgress(success);
    ASSERT_TRUE(window->GetRejoinFlags().serverRestore);
    // Armed by the success: killing it proves it ran.
    ASSERT_TRUE(::KillTimer(window->GetHandle(), kTimerFlashReturn));

    EXPECT_TRUE(window->Workflow().OnTimer(kTimerFlashReturn));
    Pump(200);
    EXPECT_EQ(window->GetDisplayState(), DisplayState::Failed);
    EXPECT_EQ(Text("panel-fail/label"), L"恢复数据失败。");
    EXPECT_TRUE(Visible("back"));
    const auto flags = window->GetRejoinFlags();
    EXPECT_FALSE(flags.serverRestore || flags.watchRestore || flags.restart);
    EXPECT_FALSE(window->IsFlashRunning());
    EXPECT_FALSE(window->IsCopyBusy());
}

// Guided mode ran out of time: the failure, guided mode off, and the guide closed.
TEST_F(MainWindowTest, GuidedModeTimesOut) {
    ASSERT_TRUE(::PostMessageW(window->GetHandle(), kMsgOpenRestartPrompt, 0, 0));
    Pump(500);
    window->Workflow().EnterGuidedMode();
    window->SetFlashRunning(true);
    EXPECT_TRUE(window->Workflow().OnTimer(kTimerGuidedMode));
    PumpUntilGuideGone();
    EXPECT_EQ(Text("panel-fail/label"), L"刷机失败，请重试！");
    EXPECT_FALSE(window->Workflow().IsGuidedMode());
    EXPECT_FALSE(window->IsFlashRunning());
    EXPECT_EQ(window->Guide(), nullptr);
    EXPECT_FALSE(window->Workflow().OnTimer(4242)) << "not the workflow's timer";
}

// The package download fills the first 5 steps of the bar; without a length nothing moves.
TEST_F(MainWindowTest, PackageDownloadFillsTheFirstFiveSteps) {
    window->EnterFlashDisplay();
    const struct {
        int received, total, bar;
    } rows[] = {{600000, 1000000, 3}, {0, 1000000, 0}, {999999, 1000000, 4}, {1000000, 1000000, 5}, {5000, 0, 5}};
    for (const auto& row : rows) {
        UpdateEvent event;
        event.tag = kTagRomPackage;
        event.kind = UpdateEvent::Progress;
        event.received = row.received;
        event.total = row.total;
        window->HandleUpdateEvent(event);
        auto* bar = UifCast<ICtrlProgressBar>(Control("panel-ready/progress"));
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->GetPosition(), row.bar) << row.received << "/" << row.total;
    }
    // A failed download: the failure panel with "back", the store gone.
    UpdateEvent failed;
    failed.tag = kTagRomPackage;
    failed.kind = UpdateEvent::Failed;
    failed.status = 404;
    window->HandleUpdateEvent(failed);
    EXPECT_EQ(Text("panel-fail/label"), L"下载ROM失败,请检查电脑网络");
    EXPECT_TRUE(Visible("back"));
    EXPECT_TRUE(window->GetRomSettingPath().empty());
}

// ---- the connection guide, mode 0 -------------------------------------------------------------

namespace {

// The open guide's controls, and its commands as the engine would deliver them.
class GuideDriver {
public:
    explicit GuideDriver(CConnectGuideWnd* guide) : guide_(guide) {}
    IControlBase* Control(const char* name) const {
        return guide_ && guide_->GetSkinWindow() ? guide_->GetSkinWindow()->FindControl(name) : nullptr;
    }
    bool Visible(const char* name) const {
        IControlBase* c = Control(name);
        return c && c->IsVisible();
    }
    bool Checked(const char* name) const {
        auto* radio = UifCast<ICtrlRadioBox>(Control(name));
        return radio && radio->IsChecked();
    }
    bool Enabled(const char* name) const {
        auto* button = UifCast<ICtrlButton>(Control(name));
        return button && button->IsEnabled();
    }
    std::wstring Text(const char* name) const {
        IControlBase* c = Control(name);
        if (!c) return L"<missing>";
        char buffer[512] = {};
        c->GetText(buffer, sizeof buffer);
        return AnsiToWide(buffer);
    }
    void Click(const char* name) {
        IControlBase* c = Control(name);
        ASSERT_NE(c, nullptr) << name;
        guide_->OnControlMessage(c, UIF_MSG_BUTTON_CLICKED, 0, 0);
    }
    void Choose(const char* name) {
        auto* radio = UifCast<ICtrlRadioBox>(Control(name));
        ASSERT_NE(radio, nullptr) << name;
        radio->SetChecked(TRUE);  // the engine checks the box before it tells the window
        guide_->OnControlMessage(radio, UIF_MSG_RADIO_CHOSEN, 1, 0);
    }
    // Which of the seven panels are shown, in a fixed order, for one comparison.
    std::string Panels() const {
        std::string shown;
        for (const char* panel : {"connecthint", "driver", "restartwatch", "waitingforflashing", "repairfail",
                                  "selectmodel", "prompt_restart"}) {
            if (Visible(panel)) shown += std::string(shown.empty() ? "" : " ") + panel;
        }
        return shown;
    }

private:
    CConnectGuideWnd* guide_;
};

}  // namespace

// "startconnect" opens the guide on its first page, and brings an open one forward.
TEST_F(MainWindowTest, TheGuideOpensOnItsFirstPageOnce) {
    window->RefreshStatus();
    ASSERT_TRUE(Visible("startconnect"));
    Click("startconnect");
    Pump(300);
    CConnectGuideWnd* guide = window->Guide();
    ASSERT_NE(guide, nullptr);
    EXPECT_EQ(guide->GetMode(), CConnectGuideWnd::Mode::Guide);
    GuideDriver g(guide);
    EXPECT_EQ(g.Panels(), "connecthint");
    EXPECT_EQ(g.Text("title"), L"连接向导");
    EXPECT_EQ(guide->State(), GuideState::Guiding);
    Click("startconnect");
    Pump(200);
    EXPECT_EQ(window->Guide(), guide);

    // Esc leaves from here as from any page.
    ::SendMessageW(guide->GetHandle(), WM_KEYDOWN, VK_ESCAPE, 0);
    PumpUntilGuideGone();
    EXPECT_EQ(window->Guide(), nullptr);
}

// A watch that does not answer: the model pages, the choice, the instruction, the wait; closing
// after "next" gives the main window its display back.
TEST_F(MainWindowTest, TheGuideLeadsASilentWatchToTheFlashWait) {
    window->RefreshStatus();
    Click("startconnect");
    Pump(300);
    ASSERT_NE(window->Guide(), nullptr);
    GuideDriver g(window->Guide());
    g.Click("noresponse");  // no USB host here and no watch: the model choice
    EXPECT_EQ(g.Panels(), "selectmodel");
    EXPECT_TRUE(g.Visible("page1"));
    EXPECT_FALSE(g.Enabled("prev_page"));
    EXPECT_TRUE(g.Enabled("next_page"));

    // Nothing chosen: a box, and the page stays as it was.
    {
        BoxAnswerer box("OK");
        g.Click("selectmodelnext");
        box.Join();
        EXPECT_EQ(box.text, L"请选择设备型号。");
        EXPECT_EQ(box.caption, L"TarvoSprout");
    }
    EXPECT_EQ(g.Panels(), "selectmodel");

    // Paging unchecks the chosen box; the last page has no "next".
    g.Click("next_page");
    EXPECT_TRUE(g.Visible("page2"));
    EXPECT_FALSE(g.Visible("page1"));
    EXPECT_TRUE(g.Enabled("prev_page"));
    g.Choose("genc_radio");
    EXPECT_TRUE(g.Checked("genc_radio"));
    g.Click("next_page");
    EXPECT_TRUE(g.Visible("page3"));
    EXPECT_FALSE(g.Enabled("next_page"));
    EXPECT_FALSE(g.Checked("genc_radio"));

    // Models the guide cannot help: their box, and the choice stays.
    for (const char* radio : {"gencs_radio", "wn3_radio"}) {
        g.Choose(radio);
        BoxAnswerer box("OK");
        g.Click("selectmodelnext");
        box.Join();
        EXPECT_EQ(box.text, L"请长按手表下键15秒，再长按下键开机，然后重新连接USB线。") << radio;
        EXPECT_EQ(g.Panels(), "selectmodel") << radio;
    }
    // Choosing one box unchecks the other.
    g.Choose("lite_radio");
    EXPECT_TRUE(g.Checked("lite_radio"));
    EXPECT_FALSE(g.Checked("wn3_radio"));

    g.Click("prev_page");
    g.Click("prev_page");
    g.Choose("genb_radio");
    g.Click("selectmodelnext");
    EXPECT_EQ(g.Panels(), "restartwatch");
    EXPECT_EQ(g.Text("pressdownkey"), L"长按设备下键10秒钟，然后点击下一步");
    EXPECT_EQ(window->Watch().Get().modelKey, "watchk7_mt60d_ublox");

    g.Click("next");
    EXPECT_EQ(g.Panels(), "waitingforflashing");
    EXPECT_EQ(window->Guide()->State(), GuideState::WaitingForFlash);
    EXPECT_TRUE(window->Guide()->HasStartedFlash());
    EXPECT_TRUE(window->Workflow().IsGuidedMode());
    // Armed by "next": killing it proves it ran.
    EXPECT_TRUE(::KillTimer(window->GetHandle(), kTimerGuidedMode));

    g.Click("close");
    PumpUntilGuideGone();
    EXPECT_EQ(window->Guide(), nullptr);
    EXPECT_FALSE(window->Workflow().IsGuidedMode());
    EXPECT_EQ(window->GetDisplayState(), DisplayState::Disconnected);
}

// Closing before "next" leaves the main window as it was.
TEST_F(MainWindowTest, ClosingTheGuideBeforeTheWaitTouchesNothing) {
    window->ReportFailure(L"下载固件失败，请检查网络后重试", true);
    Click("startconnect");  // hidden on the failure panel, but the command itself still opens it
    Pump(300);
    ASSERT_NE(window->Guide(), nullptr);
    GuideDriver g(window->Guide());
    g.Click("noresponse");
    g.Choose("genb_radio");
    g.Click("selectmodelnext");
    ASSERT_EQ(g.Panels(), "restartwatch");
    g.Click("close");
    PumpUntilGuideGone();
    EXPECT_EQ(window->GetDisplayState(), DisplayState::Failed);
    EXPECT_EQ(Text("panel-fail/label"), L"下载固件失败，请检查网络后重试");
    EXPECT_FALSE(window->Workflow().IsGuidedMode());
}

// The USB scan's reports: a usable watch only sets the flag; one without a working driver shows
// the repair; failed repairs offer another try, then the forum, then stay as they are.
TEST_F(MainWindowTest, TheGuideFollowsTheScanAndCountsRepairFailures) {
    Click("startconnect");
    Pump(300);
    CConnectGuideWnd* guide = window->Guide();
    ASSERT_NE(guide, nullptr);
    GuideDriver g(guide);
    ::SendMessageW(guide->GetHandle(), WM_GUIDE_DEVICE_FOUND, 1, 0);
    EXPECT_TRUE(guide->IsDeviceFound());
    EXPECT_EQ(g.Panels(), "connecthint");
    EXPECT_EQ(guide->State(), GuideState::Guiding);

    ::SendMessageW(guide->GetHandle(), WM_GUIDE_DEVICE_FOUND, 0, 0);
    EXPECT_EQ(g.Panels(), "driver");
    EXPECT_EQ(guide->State(), GuideState::RepairingDriver);
    EXPECT_EQ(g.Text("text"), L"正在修复驱动程序...");

    // The picture turns while the repair runs.
    auto* picture = UifCast<ICtrlStaticBox>(g.Control("repairdriver"));
    ASSERT_NE(picture, nullptr);
    picture->SetImageState(0);
    guide->FireTimerForTesting(kTimerGuideAnimation);
    EXPECT_EQ(picture->GetImageState(), 2);

    const struct {
        bool again, forum;
    } after[] = {{true, false}, {false, true}, {false, true}, {false, true}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i + 1);
        guide->FireTimerForTesting(kTimerGuideRepairFailed);
        EXPECT_EQ(guide->RepairFailures(), i + 1);
        EXPECT_EQ(g.Panels(), "repairfail");
        EXPECT_EQ(g.Visible("repairagain"), after[i].again);
        EXPECT_EQ(g.Visible("gotoforum"), after[i].forum);
        if (i == 0) {
            // "repairagain" goes back to the repair page and asks for the repair (posted: not run
            // here, where its message would start the system's driver installer).
            g.Click("repairagain");
            EXPECT_EQ(g.Panels(), "driver");
            MSG msg;
            EXPECT_TRUE(::PeekMessageW(&msg, guide->GetHandle(), WM_GUIDE_REPAIR_DRIVER, WM_GUIDE_REPAIR_DRIVER,
                                       PM_REMOVE));
        }
    }
    ::SendMessageW(guide->GetHandle(), WM_KEYDOWN, VK_ESCAPE, 0);
    PumpUntilGuideGone();
    EXPECT_EQ(window->Guide(), nullptr);
}

// The diagnostic button steps the repair picture through every state once per process.
TEST_F(MainWindowTest, TheGuidesTestButtonStepsThePicture) {
    Click("startconnect");
    Pump(300);
    ASSERT_NE(window->Guide(), nullptr);
    GuideDriver g(window->Guide());
    auto* picture = UifCast<ICtrlStaticBox>(g.Control("repairdriver"));
    ASSERT_NE(picture, nullptr);
    g.Click("test");
    EXPECT_EQ(picture->GetImageState(), 81);
    picture->SetImageState(5);
    g.Click("test");  // the counter is past its end: nothing more
    EXPECT_EQ(picture->GetImageState(), 5);
    g.Click("close");
    PumpUntilGuideGone();
}

// Guided mode: the watch's first arrival starts the flash thread, the download port's arrival
// ends the wait (the guide closes, its time limit stops).
TEST_F(MainWindowTest, TheGuidedFlashFollowsTheWatchsArrivals) {
    std::vector<BYTE> record = WatchSerialInterfaceRecord();
    const auto arrive = [&] {
        ::SendMessageW(window->GetHandle(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(record.data()));
        Pump(300);
    };

    Click("startconnect");
    Pump(300);
    ASSERT_NE(window->Guide(), nullptr);
    window->Workflow().EnterGuidedMode();
    window->ArmTimer(kTimerGuidedMode, kGuidedModeWaitMs);
    arrive();  // the watch, short-pressed into life
    EXPECT_TRUE(window->Workflow().IsAwaitingDownloadPort());
    EXPECT_NE(window->Guide(), nullptr);
    arrive();  // its download port
    PumpUntilGuideGone();
    EXPECT_EQ(window->Guide(), nullptr);
    EXPECT_FALSE(window->Workflow().IsAwaitingDownloadPort());
    EXPECT_FALSE(::KillTimer(window->GetHandle(), kTimerGuidedMode)) << "the guided wait's limit still runs";
}

// The guide's pages as the user sees them (with TVSP_SCREENSHOT_DIR, as the test command sets).
TEST_F(MainWindowTest, GuideScreenshots) {
    const std::wstring folder = tvsp::ScreenshotFolder();
    if (folder.empty()) return;
    tvsp::GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.Ok());
    Click("startconnect");
    Pump(300);
    CConnectGuideWnd* guide = window->Guide();
    ASSERT_NE(guide, nullptr);
    GuideDriver g(guide);
    const auto shoot = [&](const wchar_t* name) {
        Pump(700);
        EXPECT_TRUE(tvsp::SaveWindowPng(guide->GetHandle(), folder + L"\\" + name));
    };
    shoot(L"guide-1-connecthint.png");
    ::SendMessageW(guide->GetHandle(), WM_GUIDE_DEVICE_FOUND, 0, 0);
    shoot(L"guide-2-driver.png");
    guide->FireTimerForTesting(kTimerGuideRepairFailed);
    shoot(L"guide-3-repairfail-first.png");
    guide->FireTimerForTesting(kTimerGuideRepairFailed);
    shoot(L"guide-4-repairfail-second.png");
    ::SendMessageW(guide->GetHandle(), WM_KEYDOWN, VK_ESCAPE, 0);
    PumpUntilGuideGone();

    Click("startconnect");
    Pump(300);
    guide = window->Guide();
    ASSERT_NE(guide, nullptr);
    g = GuideDriver(guide);
    g.Click("noresponse");
    g.Choose("genb_radio");
    shoot(L"guide-5-selectmodel-page1.png");
    g.Click("next_page");
    g.Choose("genc_adv");
    shoot(L"guide-6-selectmodel-page2.png");
    g.Click("next_page");
    shoot(L"guide-7-selectmodel-page3.png");
    g.Choose("lite_radio");
    g.Click("selectmodelnext");
    shoot(L"guide-8-restartwatch.png");
    g.Click("next");
    shoot(L"guide-9-waitingforflashing.png");
    g.Click("cancel");
    PumpUntilGuideGone();
}
