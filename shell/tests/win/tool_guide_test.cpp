// The connection guide on the real tool: a silent watch led to download mode and flashed, a watch
// that answers sent back to the one-key upgrade, and the driver repair the USB scan asks for.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/win/strings.h"
#include "engine/at_channel.h"
#include "engine/tests/win/watch_test_support.h"
#include "shell/tests/win/device_announcer.h"
#include "shell/tests/win/guide_test_support.h"
#include "shell/tests/win/tool_test_support.h"
#include "shell/tests/win/upgrade_test_support.h"
#include "testing/wine/test_files.h"

using namespace TVSP;
using namespace tvsp_test;

namespace {

using ToolGuideTest = GuideTest;

// What detection and the guide ask a watch; none of it changes the watch.
const char* const kReadOnlyCommands[] = {"AT", "AT+CGMR", "AT+EGMR=0,7"};

}  // namespace

// A watch that does not show up: the model chosen, the key instruction, "next"; then the watch
// comes to life (silent) and restarts into download mode, and the flash runs with nothing asked
// of the watch beyond questions.
TEST_F(ToolGuideTest, ASilentWatchIsFlashedOnceItIsInDownloadMode) {
    VWATCH_OK(watch.SetVersion("WT4_GSM1.2.3,A"));
    VWATCH_OK(watch.SetNewVersion("WT4_GSM1.9.9,A"));
    VWATCH_OK(watch.Unplug());
    RunningTool tool(L"C:\\tvsp-tool-ui\\guide-flash");
    OfferPackage(tool, kGuideModel);
    OpenGuide(tool);
    if (HasFatalFailure()) return;
    SaveGuideScreenshot(L"tool-guide-connecthint");

    Click(L"noresponse");  // no USB host under Wine, and no watch: the model choice
    json guide = WaitForGuidePanel("selectmodel");
    EXPECT_TRUE(ControlVisible(guide, "page1"));

    // Nothing chosen: the box, and the page stays.
    Click(L"selectmodelnext");
    EXPECT_EQ(AnswerMessageBox(), "请选择设备型号。");
    EXPECT_TRUE(ControlVisible(GuideSnapshot(), "selectmodel"));
    // A model the guide cannot help: its box, the page stays.
    Click(L"next_page");
    Click(L"next_page");
    guide = WaitForGuidePanel("page3");
    Choose(L"wn3_radio");
    Click(L"selectmodelnext");
    EXPECT_EQ(AnswerMessageBox(), "请长按手表下键15秒，再长按下键开机，然后重新连接USB线。");
    EXPECT_TRUE(ControlVisible(GuideSnapshot(), "selectmodel"));
    SaveGuideScreenshot(L"tool-guide-selectmodel");

    Choose(L"lite_radio");
    Click(L"selectmodelnext");
    guide = WaitForGuidePanel("restartwatch");
    EXPECT_EQ(ControlText(guide, "pressdownkey"), "长按按键15秒后，点击下一步，再短按按键");
    SaveGuideScreenshot(L"tool-guide-restartwatch");

    DeviceAnnouncer announcer(SendUictl, kDownloadCom);
    Click(L"next");
    WaitForGuidePanel("waitingforflashing");
    SaveGuideScreenshot(L"tool-guide-waitingforflashing");

    // The short press: the watch appears, answering nothing, and the tool starts its flash thread.
    for (const char* command : kReadOnlyCommands) VWATCH_OK(watch.SetFault(command, "silent"));
    VWATCH_OK(watch.Plug(kWatchPort));
    WaitForWindow([](const json& w) { return ControlText(w, "detail") == "正在写入新ROM"; }, 30000);
    const std::vector<std::string> beforeFlash = watch.ReceivedCommands();
    // It restarts into download mode (played by the power-off request, sent by the test).
    VWATCH_OK(watch.ClearFaults());
    PowerOffWatch(kWatchPort);
    const json window = WaitForWindow([](const json& w) {
        return ControlText(w, "detail") == "当前固件已是最新版！" || ControlVisible(w, "panel-fail");
    }, 180000);
    EXPECT_FALSE(ControlVisible(window, "panel-fail")) << ControlTextIn(window, "panel-fail", "label");
    ExpectPackageWritten();
    if (GuideOpen()) {
        ADD_FAILURE() << "the guide stayed open";
        for (const std::wstring& sent : announcer.Sent()) std::printf("announced: %s\n", WideToUtf8(sent).c_str());
    }
    // Nothing but questions reached the watch before the flash: no preparation, no reboot request.
    for (const std::string& command : beforeFlash) {
        EXPECT_NE(std::find(std::begin(kReadOnlyCommands), std::end(kReadOnlyCommands), command),
                  std::end(kReadOnlyCommands))
            << command;
    }
    EXPECT_TRUE(tool.CloseByButton());
}

// A watch that answers makes the guide step aside: the one-key upgrade is the way.
TEST_F(ToolGuideTest, AWatchThatAnswersSendsTheUserToTheOneKeyUpgrade) {
    VWATCH_OK(watch.Unplug());
    RunningTool tool(L"C:\\tvsp-tool-ui\\guide-answer");
    OpenGuide(tool);
    if (HasFatalFailure()) return;
    // Plugged in while the guide is open; the tool is not told (no announcer), so only the
    // guide's own check finds it.
    VWATCH_OK(watch.Plug(kWatchPort));
    Click(L"noresponse");
    EXPECT_EQ(AnswerMessageBox(), "请点“一键升级”进行升级");
    EXPECT_TRUE(WaitUntil([] { return !GuideOpen(); }, 10000)) << "the guide stayed open";

    // Esc leaves the guide from a later page too.
    VWATCH_OK(watch.Unplug());
    ASSERT_EQ(Uictl(L"click mainWnd/startconnect").exitCode, 0u);
    WaitForGuidePanel("connecthint");
    Click(L"noresponse");
    WaitForGuidePanel("selectmodel");
    ASSERT_EQ(Uictl(L"send connectguide 0x0100 0x1B").exitCode, 0u);  // WM_KEYDOWN, VK_ESCAPE
    EXPECT_TRUE(WaitUntil([] { return !GuideOpen(); }, 10000)) << "Esc did not close the guide";
    EXPECT_TRUE(tool.CloseByButton());
}

// The USB scan's report of a watch without a working driver: the repair page, then the repair
// itself, whose installer leaves the watch with its port: the success, the guide closed.
TEST_F(ToolGuideTest, AWatchWithoutItsDriverGetsTheRepair) {
    VWATCH_OK(watch.Unplug());
    RunningTool tool(L"C:\\tvsp-tool-ui\\guide-repair");
    OpenGuide(tool);
    if (HasFatalFailure()) return;
    // What the scan sends for a watch with no driver or the wrong one (Wine has no USB host).
    ASSERT_EQ(Uictl(L"send connectguide 0x0465 0").exitCode, 0u);
    const json guide = WaitForGuidePanel("driver");
    EXPECT_EQ(ControlText(guide, "text"), "正在修复驱动程序...");
    SaveGuideScreenshot(L"tool-guide-driver");
    VWATCH_OK(watch.Plug(kWatchPort));  // the port the repaired driver gives the watch
    ASSERT_EQ(Uictl(L"post connectguide 0x0466 0").exitCode, 0u);
    EXPECT_EQ(AnswerMessageBox(90000), "驱动修复成功，请重新插拔手表");
    EXPECT_TRUE(WaitUntil([] { return !GuideOpen(); }, 10000)) << "the guide stayed open";
    // The attachment-safety setting is as it was before the installer ran.
    HKEY key = nullptr;
    DWORD type = 0;
    const bool valueLeft =
        ::RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Associations", 0,
                        KEY_READ, &key) == ERROR_SUCCESS &&
        ::RegQueryValueExW(key, L"ModRiskFileTypes", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS;
    if (key) ::RegCloseKey(key);
    EXPECT_FALSE(valueLeft) << "ModRiskFileTypes left behind";
    EXPECT_TRUE(tool.CloseByButton());
}
