// Upgrades that end by a real time-out: the flashed watch that never comes back, a restore that
// waits for a watch that stops answering, the guide's wait for the download port, and the retry
// wait after a driver repair that did not help. Runs in a Wine prefix of its own, beside the other
// tests, since it mostly waits.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/win/handle.h"
#include "shell/tests/win/guide_test_support.h"
#include "shell/tests/win/upgrade_test_support.h"

using namespace tvsp_test;

namespace {

using UpgradeWaitTest = UpgradeTest;
using GuideWaitTest = GuideTest;

}  // namespace

// After a successful download the watch restarts but never reappears: the wait ends after its
// 120 s with "恢复数据失败。" and "back", and the marker stays for the watch's next connection.
TEST_F(UpgradeWaitTest, AFlashedWatchThatNeverReturnsEndsTheWait) {
    VWATCH_OK(watch.SetAfterRestart(true, 0, 600000));
    RunningTool tool(L"C:\\tvsp-wait\\never-back");
    StartUpgrade(tool, "watchk7_mt60d_ublox", "WK7_GSM1.2.3_BLE4_U_V5", "WK7_GSM1.9.9_BLE4_U_V5");
    ASSERT_FALSE(HasFatalFailure());
    // The download itself takes well under a minute; the wait is 120 s more.
    const json window = WaitForWindow([](const json& w) { return ControlVisible(w, "panel-fail"); }, 300000);
    EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), "恢复数据失败。");
    EXPECT_TRUE(ControlVisible(window, "back"));
    ExpectPackageWritten();
    EXPECT_EQ(ReadIniValue(tool.File(L"sproutdata.ini"), L"watch", L"imei"), kImei);
    EXPECT_TRUE(tool.CloseByButton());
}

// A restore owed at connection to a watch that stops answering "AT": 120 pings a second apart,
// then "恢复数据失败！"; the marker stays.
TEST_F(UpgradeWaitTest, ARestoreWaitsForTheWatchThenGivesUp) {
    VWATCH_OK(watch.SetVersion("WK7_GSM1.2.3_BLE4_U_V5"));
    VWATCH_OK(watch.SetFault("AT", "silent"));  // only the plain "AT": version and IMEI still answer
    RunningTool tool(L"C:\\tvsp-wait\\no-ping");
    const std::string data = std::string("[watch]\r\nmodel=watchk7_mt60d_ublox\r\nimei=") + kImei + "\r\n";
    ASSERT_TRUE(WriteWholeFile(tool.File(L"sproutdata.ini"), data.data(), data.size()));
    ASSERT_TRUE(tool.Start());
    const json window = WaitForWindow([](const json& w) { return ControlVisible(w, "panel-fail"); }, 500000);
    EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), "恢复数据失败！");
    const auto log = watch.ReceivedCommands();
    EXPECT_EQ(std::count(log.begin(), log.end(), std::string("AT")), 120);
    EXPECT_EQ(ReadIniValue(tool.File(L"sproutdata.ini"), L"watch", L"imei"), kImei);
    EXPECT_TRUE(tool.CloseByButton());
}

// The guide's wait for a watch that never enters download mode: 200 s after "next",
// "刷机失败，请重试！", the guide closed and guided mode over.
TEST_F(GuideWaitTest, TheGuidedWaitRunsOut) {
    VWATCH_OK(watch.SetVersion("WT4_GSM1.2.3,A"));
    VWATCH_OK(watch.Unplug());  // it never shows up
    RunningTool tool(L"C:\\tvsp-wait\\guided");
    OfferPackage(tool, kGuideModel);
    OpenGuide(tool);
    if (HasFatalFailure()) return;
    Click(L"noresponse");
    WaitForGuidePanel("selectmodel");
    Click(L"next_page");
    Click(L"next_page");
    WaitForGuidePanel("page3");
    Choose(L"lite_radio");
    Click(L"selectmodelnext");
    WaitForGuidePanel("restartwatch");
    Click(L"next");
    WaitForGuidePanel("waitingforflashing");
    const json window = WaitForWindow([](const json& w) { return ControlVisible(w, "panel-fail"); }, 300000);
    EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), "刷机失败，请重试！");
    EXPECT_TRUE(WaitUntil([] { return !GuideOpen(); }, 10000)) << "the guide stayed open";
    EXPECT_TRUE(tool.CloseByButton());
}

// A repair that leaves the watch without its port (the prefix is Windows 7): the real repair
// program runs once as a service and is gone again, and 120 s later the guide reports the
// failure and offers another try.
TEST_F(GuideWaitTest, ARepairThatDoesNotHelpIsReportedAfterItsWait) {
    VWATCH_OK(watch.Unplug());
    RunningTool tool(L"C:\\tvsp-wait\\repair");
    OpenGuide(tool);
    if (HasFatalFailure()) return;
    ASSERT_EQ(Uictl(L"send connectguide 0x0465 0").exitCode, 0u);  // the scan: no working driver
    WaitForGuidePanel("driver");
    ASSERT_EQ(Uictl(L"post connectguide 0x0466 0").exitCode, 0u);
    const json guide = WaitForGuidePanel("repairfail", 300000);
    EXPECT_TRUE(ControlVisible(guide, "repairagain"));
    EXPECT_FALSE(ControlVisible(guide, "gotoforum"));
    SaveGuideScreenshot(L"tool-guide-repairfail");
    // The repair program ran as the one-shot service, which is gone once it stopped.
    const std::string record = tvsp::ReadAll(tool.File(L"PortMender.log"));
    EXPECT_EQ(record.rfind("run=service ", 0), 0u) << record;
    TVSP::unique_schandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ASSERT_TRUE(manager);
    const TVSP::unique_schandle service(::OpenServiceW(manager.get(), L"PortMender", SERVICE_QUERY_STATUS));
    EXPECT_FALSE(service) << "the service entry was left behind";
    EXPECT_TRUE(tool.CloseByButton());
}
