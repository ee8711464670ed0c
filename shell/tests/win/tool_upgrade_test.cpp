// The one-key upgrade on the real tool: the package from the test server, the flash into the
// virtual watch, its return and the restore of its data; and the failures on the way.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/win/file_io.h"
#include "base/win/strings.h"
#include "device/system_utils.h"
#include "engine/tests/win/watch_test_support.h"
#include "engine/at_channel.h"
#include "shell/ini_files.h"
#include "shell/tests/win/device_announcer.h"
#include "shell/tests/win/tool_test_support.h"
#include "shell/tests/win/upgrade_test_support.h"
#include "testing/update-server/client/update_server_client.h"
#include "testing/wine/test_files.h"

using namespace TVSP;
using namespace tvsp_test;

namespace {

using ToolUpgradeTest = UpgradeTest;

}  // namespace

// The main job: a class-20 watch is flashed with the signed package, comes back with the new
// firmware and gets its data back from the server; nothing of the upgrade is left behind.
TEST_F(ToolUpgradeTest, OneKeyUpgradeFlashesTheWatchAndRestoresItsData) {
    RunningTool tool(L"C:\\tvsp-tool-ui\\upgrade");
    ASSERT_TRUE(server.Reply("/upgrade/query", 200, "contacts=mum,dad\nalarms=07:00"));
    StartUpgrade(tool, "watchk7_mt60d_ublox", "WK7_GSM1.2.3_BLE4_U_V5", "WK7_GSM1.9.9_BLE4_U_V5");
    ASSERT_FALSE(HasFatalFailure());

    // The restore ends with a box asking to reconnect; by then the data is on the watch.
    WaitForWindow([](const json& w) { return ControlText(w, "detail") == "正在进行数据恢复"; }, 180000);
    EXPECT_EQ(AnswerMessageBox(60000), "请把USB线断开，并重新连接一次即可完成升级");
    std::printf("stage: box \"请把USB线断开，并重新连接一次即可完成升级\" answered\n");
    const json window = WaitForWindow([](const json& w) {
        return ControlText(w, "detail") == "当前固件已是最新版！" || ControlVisible(w, "panel-fail");
    }, 30000);
    EXPECT_FALSE(ControlVisible(window, "panel-fail")) << ControlTextIn(window, "panel-fail", "label");
    EXPECT_EQ(ControlText(window, "version"), "1.9.9");
    EXPECT_EQ(ControlText(window, "Status"), "已连接TarvoSprout");
    static_cast<void>(SaveToolScreenshot(L"tool-upgrade-done"));  // only when screenshots are on

    // Every region of the package arrived byte for byte.
    ExpectPackageWritten();
    EXPECT_EQ(watch.RestoreData(), "contacts=mum,dad\nalarms=07:00");
    // The query asked for this watch's data, and the marker that promised it is gone.
    bool asked = false;
    for (const std::string& request : server.Requests()) {
        asked = asked || request.rfind(std::string("GET /upgrade/query?imei=") + kImei + " HTTP/1.1", 0) == 0;
    }
    EXPECT_TRUE(asked);
    EXPECT_EQ(ReadIniValue(tool.File(L"sproutdata.ini"), L"watch", L"imei"), "");
    EXPECT_EQ(ReadIniValue(tool.File(L"sproutdata.ini"), L"watch", L"version"), "1.9.9");
    EXPECT_TRUE(tool.CloseByButton());
}

// Class 31 keeps its data on the watch: saved before the reboot, restored once it is back.
TEST_F(ToolUpgradeTest, OnWatchRestoreClassSavesBeforeAndRestoresAfter) {
    RunningTool tool(L"C:\\tvsp-tool-ui\\upgrade31");
    StartUpgrade(tool, "watchm5_mt60d_ublox", "WM5_GSM1.2.3_BLE4_U_V5", "WM5_GSM1.9.9_BLE4_U_V5");
    ASSERT_FALSE(HasFatalFailure());
    const json window = WaitForWindow([](const json& w) {
        return ControlText(w, "detail") == "当前固件已是最新版！" || ControlVisible(w, "panel-fail");
    }, 180000);
    EXPECT_FALSE(ControlVisible(window, "panel-fail")) << ControlTextIn(window, "panel-fail", "label");
    EXPECT_EQ(ControlText(window, "version"), "1.9.9");
    ExpectPackageWritten();

    // The save came before the reboot, the restore after the return; the marker is gone again.
    const auto log = watch.ReceivedCommands();
    const auto at = [&](const std::string& command) {
        return std::find(log.begin(), log.end(), command) - log.begin();
    };
    const auto count = static_cast<std::ptrdiff_t>(log.size());
    EXPECT_LT(at("AT+ESDS=0"), at("AT+CFUN=1,1"));
    EXPECT_LT(at("AT+CFUN=1,1"), count);
    EXPECT_LT(at("AT+ESDS=1"), count);
    EXPECT_GT(at("AT+ESDS=1"), at("AT+CFUN=1,1"));
    EXPECT_EQ(ReadIniValue(tool.File(L"sproutdata.ini"), L"watch", L"imei"), "");
    EXPECT_TRUE(tool.CloseByButton());
}

// A watch that never says it is ready is not touched: five tries, then the failure with "back",
// and nothing of the package is kept.
TEST_F(ToolUpgradeTest, AWatchThatIsNeverReadyIsLeftAlone) {
    VWATCH_OK(watch.SetVersion("WK7_GSM1.2.3_BLE4_U_V5"));
    VWATCH_OK(watch.SetFault("AT^TESTSTART", "wrong"));
    RunningTool tool(L"C:\\tvsp-tool-ui\\notready");
    OfferPackage(tool, "watchk7_mt60d_ublox");
    ASSERT_TRUE(tool.Start());
    PressUpgrade();
    const json window = WaitForWindow([](const json& w) { return ControlVisible(w, "panel-fail"); }, 60000);
    EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), "升级失败，请重新插拔TarvoSprout。");
    EXPECT_TRUE(ControlVisible(window, "back"));
    const auto log = watch.ReceivedCommands();
    EXPECT_EQ(std::count(log.begin(), log.end(), "AT^TESTSTART"), 5);
    EXPECT_EQ(std::count(log.begin(), log.end(), "AT+CFUN=1,1"), 0) << "the watch was rebooted";
    EXPECT_TRUE(watch.Regions().empty());
    EXPECT_EQ(::GetFileAttributesW(CacheFolderPath(L"roms").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(tool.CloseByButton());
}

// Packages that cannot be had or are not the maker's end in the download failure, before the
// watch is asked anything.
TEST_F(ToolUpgradeTest, APackageThatFailsIsNeverFlashed) {
    VWATCH_OK(watch.SetVersion("WK7_GSM1.2.3_BLE4_U_V5"));
    RunningTool tool(L"C:\\tvsp-tool-ui\\badpackage");
    OfferPackage(tool, "watchk7_mt60d_ublox");
    ASSERT_TRUE(tool.Start());
    struct Row {
        const char* what;
        std::function<bool()> serve;
    } rows[] = {
        {"missing", [&] { return server.Reply("/packages/watchk7_mt60d_ublox.cab", 404, "gone"); }},
        {"empty", [&] { return server.Reply("/packages/watchk7_mt60d_ublox.cab", 200, ""); }},
        {"not signed", [&] {
             return server.File("/packages/watchk7_mt60d_ublox.cab",
                                WideToUtf8(PackagePath("watchk7_mt60d_ublox-unsigned")));
         }},
    };
    // The detection at start-up speaks to the watch; the log is cleared only once it is done.
    ASSERT_TRUE(WaitUntil([] { return ControlVisible(MainWindowSnapshot(), "updateButton"); }, 60000));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(row.serve());
        VWATCH_OK(watch.ClearLog());
        PressUpgrade();
        json window = WaitForWindow([](const json& w) { return ControlVisible(w, "panel-fail"); }, 60000);
        EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), "下载ROM失败,请检查电脑网络");
        EXPECT_TRUE(watch.ReceivedCommands().empty()) << "the watch was asked something";
        EXPECT_EQ(::GetFileAttributesW(CacheFolderPath(L"roms").c_str()), INVALID_FILE_ATTRIBUTES);
        ASSERT_EQ(Uictl(L"click mainWnd/back").exitCode, 0u);
    }
    EXPECT_TRUE(tool.CloseByButton());
}

// The cable pulled while the ROM is written: the class's text, once, and the watch kept.
TEST_F(ToolUpgradeTest, UnpluggingDuringTheDownloadIsReportedOnce) {
    VWATCH_OK(watch.SetVersion("WK7_GSM1.2.3_BLE4_U_V5"));
    VWATCH_OK(watch.SetDownloadFault("vanish-at 50"));
    RunningTool tool(L"C:\\tvsp-tool-ui\\unplug");
    OfferPackage(tool, "watchk7_mt60d_ublox");
    ASSERT_TRUE(tool.Start());
    DeviceAnnouncer announcer(SendUictl, kDownloadCom);
    PressUpgrade();
    json window = WaitForWindow([](const json& w) { return ControlVisible(w, "panel-fail"); }, 180000);
    EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), "升级失败，请拨打400-1234-567联系客服！");
    // The download's own end comes later and must not add a box or change the text.
    ::Sleep(5000);
    window = MainWindowSnapshot();
    EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), "升级失败，请拨打400-1234-567联系客服！");
    EXPECT_EQ(Uictl(L"msgbox").output.find("\"text\""), std::string::npos) << "a box appeared";
    // The marker written before the flash stays: the watch's data is owed to it.
    EXPECT_EQ(ReadIniValue(tool.File(L"sproutdata.ini"), L"watch", L"imei"), kImei);
    EXPECT_TRUE(tool.CloseByButton());
}

// A restore owed from an earlier upgrade is made when the same watch is connected again; another
// watch leaves the marker alone.
TEST_F(ToolUpgradeTest, APendingRestoreIsMadeForTheSameWatchOnly) {
    VWATCH_OK(watch.SetVersion("WK7_GSM1.9.9_BLE4_U_V5"));
    RunningTool tool(L"C:\\tvsp-tool-ui\\pending");
    ASSERT_TRUE(server.Reply("/upgrade/query", 200, "a=1\nb=2"));
    const std::string other = "[watch]\r\nmodel=watchk7_mt60d_ublox\r\nimei=869999999999999\r\n";
    ASSERT_TRUE(WriteWholeFile(tool.File(L"sproutdata.ini"), other.data(), other.size()));
    ASSERT_TRUE(tool.Start());
    ASSERT_TRUE(WaitUntil([] { return ControlText(MainWindowSnapshot(), "Status") == "已连接TarvoSprout"; }, 30000));
    ::Sleep(3000);
    EXPECT_EQ(watch.RestoreData(), "");
    EXPECT_EQ(ReadIniValue(tool.File(L"sproutdata.ini"), L"watch", L"imei"), "869999999999999");
    EXPECT_TRUE(tool.CloseByButton());

    const std::string same = std::string("[watch]\r\nmodel=watchk7_mt60d_ublox\r\nimei=") + kImei + "\r\n";
    ASSERT_TRUE(WriteWholeFile(tool.File(L"sproutdata.ini"), same.data(), same.size()));
    RunningTool again(L"C:\\tvsp-tool-ui\\pending", false);
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(AnswerMessageBox(60000), "数据恢复成功");
    EXPECT_EQ(watch.RestoreData(), "a=1\nb=2");
    EXPECT_EQ(ReadIniValue(again.File(L"sproutdata.ini"), L"watch", L"imei"), "");
    EXPECT_TRUE(again.CloseByButton());
}

// Class 33 upgrades itself after the download: the tool says so, and the watch's own restart
// (it leaves once more and comes back) is no disconnection and no failure.
TEST_F(ToolUpgradeTest, AWatchThatUpgradesItselfIsLetGoAndFoundAgain) {
    VWATCH_OK(watch.SetAfterRestart(true, 2000, 2000));
    RunningTool tool(L"C:\\tvsp-tool-ui\\upgrade33");
    StartUpgrade(tool, "watchm5c_mt60d_ublox", "WM5C_GSM1.2.3_BLE4_U_V5", "WM5C_GSM1.9.9_BLE4_U_V5");
    ASSERT_FALSE(HasFatalFailure());
    json window = WaitForWindow([](const json& w) {
        return ControlText(w, "detail") == "固件下载成功，手表会自动重启并完成升级" || ControlVisible(w, "panel-fail");
    }, 180000);
    EXPECT_FALSE(ControlVisible(window, "panel-fail")) << ControlTextIn(window, "panel-fail", "label");
    EXPECT_EQ(ControlText(window, "version"), "1.9.9");
    ExpectPackageWritten(true);

    ASSERT_TRUE(WaitUntil([&] { return watch.Rejoins() == 1; }, 30000)) << "the watch never left once more";
    window = WaitForWindow([](const json& w) { return ControlText(w, "Status") == "已连接TarvoSprout" &&
                                                      ControlText(w, "detail") == "当前固件已是最新版！"; }, 30000);
    EXPECT_EQ(ControlText(window, "detail"), "当前固件已是最新版！");
    EXPECT_FALSE(ControlVisible(window, "panel-fail"));
    EXPECT_TRUE(tool.CloseByButton());
}

// The tool killed while the watch waits for its data: the marker written before the flash makes
// the next start restore it, and only then goes.
TEST_F(ToolUpgradeTest, ARestoreCutShortByAKilledToolIsMadeAtTheNextStart) {
    VWATCH_OK(watch.SetVersion("WK7_GSM1.2.3_BLE4_U_V5"));
    VWATCH_OK(watch.SetNewVersion("WK7_GSM1.9.9_BLE4_U_V5"));
    RunningTool tool(L"C:\\tvsp-tool-ui\\killed");
    OfferPackage(tool, "watchk7_mt60d_ublox");
    ASSERT_TRUE(server.Reply("/upgrade/query", 200, "", "stall"));
    ASSERT_TRUE(tool.Start());
    {
        DeviceAnnouncer announcer(SendUictl, kDownloadCom);
        PressUpgrade();
        // The query is on its way once the watch is back and "正在进行数据备份" shows.
        ASSERT_TRUE(WaitUntil([&] {
            for (const std::string& request : server.Requests())
                if (request.rfind("GET /upgrade/query?", 0) == 0) return true;
            return false;
        }, 180000)) << "the restore query never came";
        ExpectPackageWritten();
    }
    tool.Stop();
    EXPECT_EQ(ReadIniValue(tool.File(L"sproutdata.ini"), L"watch", L"imei"), kImei);
    EXPECT_EQ(watch.RestoreData(), "");

    ASSERT_TRUE(server.Reply("/upgrade/query", 200, "late=1\nstill=2"));
    RunningTool again(L"C:\\tvsp-tool-ui\\killed", false);
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(AnswerMessageBox(60000), "数据恢复成功");
    EXPECT_EQ(watch.RestoreData(), "late=1\nstill=2");
    EXPECT_EQ(ReadIniValue(again.File(L"sproutdata.ini"), L"watch", L"imei"), "");
    EXPECT_TRUE(again.CloseByButton());
}

// The newest model shows itself as a USB disk: found at start-up by its size, its package copied
// onto the disk as "update.cab", byte for byte.
TEST_F(ToolUpgradeTest, TheUsbDiskModelGetsItsPackageOnItsDisk) {
    VWATCH_OK(watch.Unplug());
    ASSERT_TRUE(watch.PlugDisk('R', 12 * 1024 * 1024));
    RunningTool tool(L"C:\\tvsp-tool-ui\\disk");
    // The watch is always taken to run 10.0.1: any newer version is an upgrade.
    OfferPackage(tool, "watchn3x_mt61a_ublox", "10.0.2");
    ASSERT_TRUE(tool.Start());
    json window = WaitForWindow([](const json& w) { return ControlText(w, "Status") == "已连接TarvoSprout"; }, 30000);
    EXPECT_EQ(ControlText(window, "version"), "10.0.2");
    PressUpgrade();
    window = WaitForWindow([](const json& w) {
        return ControlText(w, "detail") == "固件拷贝成功，请拔掉数据线，手表10秒后将自动升级！若手表网络不可用，则无法升级！" ||
               ControlVisible(w, "panel-fail");
    }, 60000);
    EXPECT_FALSE(ControlVisible(window, "panel-fail")) << ControlTextIn(window, "panel-fail", "label");
    EXPECT_EQ(ControlText(window, "detail"),
              "固件拷贝成功，请拔掉数据线，手表10秒后将自动升级！若手表网络不可用，则无法升级！");
    static_cast<void>(SaveToolScreenshot(L"tool-usb-disk-copied"));  // only when screenshots are on
    const std::string copied = tvsp::ReadAll(L"R:\\update.cab");
    const std::string package = tvsp::ReadAll(PackagePath("watchn3x_mt61a_ublox"));
    EXPECT_FALSE(package.empty());
    EXPECT_TRUE(copied == package) << copied.size() << " bytes on the disk, package " << package.size();
    EXPECT_TRUE(tool.CloseByButton());
    EXPECT_TRUE(watch.UnplugDisk());
}

// A disk plugged in later is announced by its USB function, then its volume; one too full for
// the package gets the disk-full text and no partial package.
TEST_F(ToolUpgradeTest, AFullWatchDiskKeepsNoPartialPackage) {
    VWATCH_OK(watch.Unplug());
    RunningTool tool(L"C:\\tvsp-tool-ui\\diskfull");
    OfferPackage(tool, "watchn3x_mt61a_ublox", "10.0.2");
    ASSERT_TRUE(tool.Start());
    ASSERT_TRUE(watch.PlugDisk('S', 11 * 1024 * 1024));
    // Leave about 64 KiB: the package does not fit.
    ASSERT_TRUE(watch.FillDisk(11 * 1024 * 1024 - 64 * 1024 - 8192));
    ASSERT_EQ(Uictl(L"device arrive \\\\?\\USB#VID_0E8D&PID_0002#TVSPDISK#{a5dcbf10-6530-11d2-901f-00c04fb951ed}").exitCode,
              0u);
    ASSERT_EQ(Uictl(L"volume arrive S").exitCode, 0u);
    json window = WaitForWindow([](const json& w) { return ControlText(w, "Status") == "已连接TarvoSprout"; }, 30000);
    ASSERT_EQ(ControlText(window, "Status"), "已连接TarvoSprout");
    PressUpgrade();
    window = WaitForWindow([](const json& w) { return ControlVisible(w, "panel-fail"); }, 60000);
    EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"),
              "磁盘空间不足，请删除部分照片，需保证手表优盘里有9M空间才可升级。");
    EXPECT_TRUE(ControlVisible(window, "back"));
    EXPECT_EQ(::GetFileAttributesW(L"S:\\update.cab"), INVALID_FILE_ATTRIBUTES) << "a partial package was left";
    EXPECT_TRUE(tool.CloseByButton());
    EXPECT_TRUE(watch.UnplugDisk());
}

// The other classes, each through its own preparation and way into download mode.
TEST_F(ToolUpgradeTest, EachClassIsPreparedAndRestartedItsWay) {
    const struct {
        const char* model;
        const char* before;   // the watch's version text before and after
        const char* after;
        const char* version;  // offered
        const char* prepared;  // command that must come before the way into download mode, or ""
        const char* into;      // the way into download mode
        bool otaOnly;
        const char* done;      // "detail" at the end
    } rows[] = {
        {"watchk8_mt60d_ublox", "WK8_GSM1.2.3_BLE4_U_V5", "WK8_GSM1.9.9_BLE4_U_V5", "1.9.9", "AT^STARTFLASHROM",
         "AT+CFUN=1,1", false, "当前固件已是最新版！"},
        {"watchn3_mt61a_ublox", "WN3_GSM9.3.0,X1", "WN3_GSM9.9.0,X1", "9.9.0", "", "AT^PWROFF", true,
         "固件下载成功，手表会自动重启并完成升级"},
        {"watcht4_mt2503d_mt3333", "WT4_GSM1.2.3,A", "WT4_GSM1.9.9,A", "1.9.9", "", "AT^PWROFF", false,
         "当前固件已是最新版！"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.model);
        PrepareWatch();
        RunningTool tool(L"C:\\tvsp-tool-ui\\classes");
        StartUpgrade(tool, row.model, row.before, row.after, row.version);
        ASSERT_FALSE(HasFatalFailure());
        const json window = WaitForWindow([&](const json& w) {
            return ControlText(w, "detail") == row.done || ControlVisible(w, "panel-fail");
        }, 180000);
        EXPECT_FALSE(ControlVisible(window, "panel-fail")) << ControlTextIn(window, "panel-fail", "label");
        EXPECT_EQ(ControlText(window, "detail"), row.done);
        ExpectPackageWritten(row.otaOnly);
        const auto log = watch.ReceivedCommands();
        const auto at = [&](const std::string& command) { return std::find(log.begin(), log.end(), command) - log.begin(); };
        const auto end = static_cast<std::ptrdiff_t>(log.size());
        EXPECT_LT(at("AT^TESTSTART"), at(row.into));
        EXPECT_LT(at(row.into), end) << "never sent into download mode";
        if (*row.prepared) {
            EXPECT_LT(at(row.prepared), at(row.into));
        }
        EXPECT_EQ(std::count(log.begin(), log.end(), std::string("AT+ESDS=0")), 0);
        EXPECT_TRUE(tool.CloseByButton());
    }
}

// Class 50 below 9.2.0 is restarted by hand: the restart prompt opens, nothing is said to the
// watch over AT, and the flash starts when its download port appears.
TEST_F(ToolUpgradeTest, LegacyFirmwareIsRestartedByHandAfterThePrompt) {
    VWATCH_OK(watch.SetVersion("WN3_GSM9.1.0,X1"));
    VWATCH_OK(watch.SetNewVersion("WN3_GSM9.9.0,X1"));
    RunningTool tool(L"C:\\tvsp-tool-ui\\legacy50");
    OfferPackage(tool, "watchn3_mt61a_ublox", "9.9.0");
    ASSERT_TRUE(tool.Start());
    DeviceAnnouncer announcer(SendUictl, kDownloadCom);
    json window;
    ASSERT_TRUE(WaitUntil([&] { return ControlVisible(window = MainWindowSnapshot(), "updateButton"); }, 60000));
    VWATCH_OK(watch.ClearLog());
    PressUpgrade();
    // The prompt: the guide's window in its restart mode.
    const auto guideOpen = [] {
        const json snapshot = json::parse(Uictl(L"snapshot").output, nullptr, false);
        if (!snapshot.is_object() || !snapshot.contains("windows")) return false;
        for (const auto& w : snapshot["windows"])
            if (w.value("name", std::string()) == "connectguide" && ControlVisible(w, "prompt_restart")) return true;
        return false;
    };
    ASSERT_TRUE(WaitUntil(guideOpen, 30000)) << "no restart prompt";
    static_cast<void>(SaveToolScreenshot(L"tool-restart-prompt"));  // only when screenshots are on
    EXPECT_TRUE(watch.ReceivedCommands().empty()) << "the watch was spoken to";
    // The user restarts the watch into download mode by hand (here: the same request, sent by the
    // test; the tool's own commands were checked above).
    PowerOffWatch(kWatchPort);
    window = WaitForWindow([](const json& w) {
        return ControlText(w, "detail") == "固件下载成功，手表会自动重启并完成升级" || ControlVisible(w, "panel-fail");
    }, 180000);
    EXPECT_FALSE(ControlVisible(window, "panel-fail")) << ControlTextIn(window, "panel-fail", "label");
    ExpectPackageWritten(true);
    EXPECT_TRUE(WaitUntil([&] { return !guideOpen(); }, 10000)) << "the prompt stayed open";
    EXPECT_TRUE(tool.CloseByButton());
}

// A preparation that fails five times stops the upgrade before the watch leaves normal mode.
TEST_F(ToolUpgradeTest, AFailedPreparationStopsBeforeTheReboot) {
    const struct {
        const char* model;
        const char* version;
        const char* command;
        const char* text;
    } rows[] = {
        {"watchm5_mt60d_ublox", "WM5_GSM1.2.3_BLE4_U_V5", "AT+ESDS=0", "升级失败，请重试。"},
        {"watchk8_mt60d_ublox", "WK8_GSM1.2.3_BLE4_U_V5", "AT^STARTFLASHROM", "开启看门狗失败，请重试。"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.model);
        VWATCH_OK(watch.ClearFaults());
        VWATCH_OK(watch.SetVersion(row.version));
        VWATCH_OK(watch.SetFault(row.command, "wrong"));
        RunningTool tool(L"C:\\tvsp-tool-ui\\preparation");
        OfferPackage(tool, row.model);
        ASSERT_TRUE(tool.Start());
        PressUpgrade();
        const json window = WaitForWindow([](const json& w) { return ControlVisible(w, "panel-fail"); }, 90000);
        EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), row.text);
        const auto log = watch.ReceivedCommands();
        EXPECT_EQ(std::count(log.begin(), log.end(), std::string(row.command)), 5);
        EXPECT_EQ(std::count(log.begin(), log.end(), std::string("AT+CFUN=1,1")), 0) << "rebooted after all";
        EXPECT_TRUE(tool.CloseByButton());
        VWATCH_OK(watch.ClearLog());
    }
}

// The server fails the restore query: the failure says so, and the marker stays for the next
// connection.
TEST_F(ToolUpgradeTest, AServerThatFailsTheRestoreKeepsTheMarker) {
    RunningTool tool(L"C:\\tvsp-tool-ui\\restorefail");
    ASSERT_TRUE(server.Reply("/upgrade/query", 500, "down"));
    StartUpgrade(tool, "watchk7_mt60d_ublox", "WK7_GSM1.2.3_BLE4_U_V5", "WK7_GSM1.9.9_BLE4_U_V5");
    ASSERT_FALSE(HasFatalFailure());
    const json window = WaitForWindow([](const json& w) { return ControlVisible(w, "panel-fail"); }, 180000);
    EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), "下载恢复数据失败！");
    EXPECT_TRUE(ControlVisible(window, "back"));
    EXPECT_EQ(watch.RestoreData(), "");
    EXPECT_EQ(ReadIniValue(tool.File(L"sproutdata.ini"), L"watch", L"imei"), kImei);
    EXPECT_TRUE(tool.CloseByButton());
}

// The disk gone before the copy: the copy's text, and the disk's removal that follows is the same
// failure, not a disconnection on top of it.
TEST_F(ToolUpgradeTest, ADiskGoneBeforeTheCopyFailsOnce) {
    VWATCH_OK(watch.Unplug());
    ASSERT_TRUE(watch.PlugDisk('T', 12 * 1024 * 1024));
    RunningTool tool(L"C:\\tvsp-tool-ui\\diskgone");
    OfferPackage(tool, "watchn3x_mt61a_ublox", "10.0.2");
    ASSERT_TRUE(tool.Start());
    json window;
    ASSERT_TRUE(WaitUntil([&] { return ControlVisible(window = MainWindowSnapshot(), "updateButton"); }, 30000));
    ASSERT_TRUE(watch.UnplugDisk());
    ASSERT_EQ(Uictl(L"click mainWnd/updateButton").exitCode, 0u);
    window = WaitForWindow([](const json& w) { return ControlVisible(w, "panel-fail"); }, 60000);
    EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), "固件拷贝失败，升级过程中请勿断开数据线，请勿弹出手表优盘！");
    ASSERT_EQ(Uictl(L"device remove \\\\?\\USB#VID_0E8D&PID_0002#TVSPDISK#{a5dcbf10-6530-11d2-901f-00c04fb951ed}").exitCode, 0u);
    ASSERT_EQ(Uictl(L"volume remove T").exitCode, 0u);
    ::Sleep(1000);
    window = MainWindowSnapshot();
    EXPECT_TRUE(ControlVisible(window, "panel-fail")) << "the removal replaced the failure";
    EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), "固件拷贝失败，升级过程中请勿断开数据线，请勿弹出手表优盘！");
    EXPECT_TRUE(tool.CloseByButton());
}

// Restores that fail after the flash: the class's text, and the marker kept for the next
// connection.
TEST_F(ToolUpgradeTest, ARestoreTheWatchRefusesKeepsTheMarker) {
    const struct {
        const char* model;
        const char* before;
        const char* after;
        const char* text;
    } rows[] = {
        // The watch refuses data A five times.
        {"watchk7_mt60d_ublox", "WK7_GSM1.2.3_BLE4_U_V5", "WK7_GSM1.9.9_BLE4_U_V5", "数据恢复失败，请重新连接一下设备"},
        // The watch refuses AT+ESDS=1 ten times.
        {"watchm5_mt60d_ublox", "WM5_GSM1.2.3_BLE4_U_V5", "WM5_GSM1.9.9_BLE4_U_V5", "恢复数据失败，请重新连接一下设备。"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.model);
        PrepareWatch();
        VWATCH_OK(watch.SetRestoreErrors('A', 5));
        VWATCH_OK(watch.SetFault("AT+ESDS=1", "wrong"));
        ASSERT_TRUE(server.Reply("/upgrade/query", 200, "a=1\nb=2"));
        RunningTool tool(L"C:\\tvsp-tool-ui\\restorerefused");
        StartUpgrade(tool, row.model, row.before, row.after);
        ASSERT_FALSE(HasFatalFailure());
        const json window = WaitForWindow([](const json& w) { return ControlVisible(w, "panel-fail"); }, 180000);
        EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), row.text);
        EXPECT_EQ(ReadIniValue(tool.File(L"sproutdata.ini"), L"watch", L"imei"), kImei);
        EXPECT_TRUE(tool.CloseByButton());
    }
}

// A restore owed at connection that the watch refuses: a box says so, the marker stays.
TEST_F(ToolUpgradeTest, APendingRestoreTheWatchRefusesIsReported) {
    VWATCH_OK(watch.SetVersion("WK7_GSM1.9.9_BLE4_U_V5"));
    VWATCH_OK(watch.SetRestoreErrors('B', 5));
    RunningTool tool(L"C:\\tvsp-tool-ui\\pendingrefused");
    ASSERT_TRUE(server.Reply("/upgrade/query", 200, "a=1\nb=2"));
    const std::string same = std::string("[watch]\r\nmodel=watchk7_mt60d_ublox\r\nimei=") + kImei + "\r\n";
    ASSERT_TRUE(WriteWholeFile(tool.File(L"sproutdata.ini"), same.data(), same.size()));
    ASSERT_TRUE(tool.Start());
    EXPECT_EQ(AnswerMessageBox(90000), "数据恢复失败，请重新连接一下设备");
    EXPECT_EQ(ReadIniValue(tool.File(L"sproutdata.ini"), L"watch", L"imei"), kImei);
    EXPECT_TRUE(tool.CloseByButton());
}
