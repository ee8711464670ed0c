// Upgrades that end by a real time-out: the flashed watch that never comes back. Runs in a Wine
// prefix of its own, beside the other tests, since it mostly waits.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/win/strings.h"
#include "engine/tests/win/watch_test_support.h"
#include "shell/tests/win/device_announcer.h"
#include "shell/tests/win/tool_test_support.h"
#include "testing/update-server/client/update_server_client.h"

using namespace TVSP;
using namespace tvsp_test;

namespace {

void SendUictl(const std::wstring& command) { Uictl(command); }

}  // namespace

// After a successful download the watch restarts but never reappears: the wait ends after its
// 120 s with "恢复数据失败。" and "back", and the marker stays for the watch's next connection.
TEST(UpgradeWaitTest, AFlashedWatchThatNeverReturnsEndsTheWait) {
    tvsp::VirtualWatchClient watch;
    ASSERT_TRUE(watch.Connect());
    VWATCH_OK(watch.Reset());
    VWATCH_OK(watch.Plug(kWatchPort));
    VWATCH_OK(watch.SetVersion("WK7_GSM1.2.3_BLE4_U_V5"));
    VWATCH_OK(watch.SetImei("861234567890123"));
    VWATCH_OK(watch.SetRebootUnplugs(true));
    VWATCH_OK(watch.SetDownloadCom(7));
    VWATCH_OK(watch.SetAfterRestart(true, 0, 600000));
    tvsp::UpdateServerClient server;
    ASSERT_TRUE(server.Connect());
    RunningTool tool(L"C:\\tvsp-wait\\never-back");
    const std::string data = "[watch]\r\nmodel=watchk7_mt60d_ublox\r\n";
    ASSERT_TRUE(TVSP::WriteWholeFile(tool.File(L"sproutdata.ini"), data.data(), data.size()));
    const std::string package = WideToUtf8(GetOwnDirectory() + L"\\..\\testing\\packages\\watchk7_mt60d_ublox.cab");
    ASSERT_TRUE(server.File("/packages/k7.cab", package));
    ASSERT_TRUE(server.Reply("/checkupdate/rom", 200,
                             "{\"watchk7_mt60d_ublox\":{\"version\":\"1.9.9\",\"url\":\"" +
                                 tvsp::UpdateServerClient::HttpUrl("/packages/k7.cab") + "\"}}"));
    ASSERT_TRUE(tool.Start());
    DeviceAnnouncer announcer(SendUictl, 7);
    json window;
    ASSERT_TRUE(WaitUntil([&] { return ControlVisible(window = MainWindowSnapshot(), "updateButton"); }, 60000));
    ASSERT_EQ(Uictl(L"click mainWnd/updateButton").exitCode, 0u);
    // The download itself takes well under a minute; the wait is 120 s more.
    ASSERT_TRUE(WaitUntil([&] { return ControlVisible(window = MainWindowSnapshot(), "panel-fail"); }, 300000));
    EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), "恢复数据失败。");
    EXPECT_TRUE(ControlVisible(window, "back"));
    EXPECT_EQ(watch.Regions().size(), 2u) << "the download did not complete first";  // ROM and OTA
    EXPECT_EQ(ReadIniValue(tool.File(L"sproutdata.ini"), L"watch", L"imei"), "861234567890123");
    EXPECT_TRUE(tool.CloseByButton());
}

// A restore owed at connection to a watch that stops answering "AT": 120 pings a second apart,
// then "恢复数据失败！"; the marker stays.
TEST(UpgradeWaitTest, ARestoreWaitsForTheWatchThenGivesUp) {
    tvsp::VirtualWatchClient watch;
    ASSERT_TRUE(watch.Connect());
    VWATCH_OK(watch.Reset());
    VWATCH_OK(watch.Plug(kWatchPort));
    VWATCH_OK(watch.SetVersion("WK7_GSM1.2.3_BLE4_U_V5"));
    VWATCH_OK(watch.SetImei("861234567890123"));
    VWATCH_OK(watch.SetFault("AT", "silent"));  // only the plain "AT": version and IMEI still answer
    tvsp::UpdateServerClient server;
    ASSERT_TRUE(server.Connect());
    RunningTool tool(L"C:\\tvsp-wait\\no-ping");
    const std::string data = "[watch]\r\nmodel=watchk7_mt60d_ublox\r\nimei=861234567890123\r\n";
    ASSERT_TRUE(TVSP::WriteWholeFile(tool.File(L"sproutdata.ini"), data.data(), data.size()));
    ASSERT_TRUE(tool.Start());
    json window;
    ASSERT_TRUE(WaitUntil([&] { return ControlVisible(window = MainWindowSnapshot(), "panel-fail"); }, 500000));
    EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), "恢复数据失败！");
    const auto log = watch.ReceivedCommands();
    EXPECT_EQ(std::count(log.begin(), log.end(), std::string("AT")), 120);
    EXPECT_EQ(ReadIniValue(tool.File(L"sproutdata.ini"), L"watch", L"imei"), "861234567890123");
    EXPECT_TRUE(tool.CloseByButton());
}
