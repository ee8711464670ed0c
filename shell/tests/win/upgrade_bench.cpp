// Benchmark, not a test: one class-20 upgrade of an 8 MiB ROM set on the real tool, from the
// click on "updateButton" to the restore's box, with each stage's time beside the waits the
// workflow itself must make. Prints figures; asserts only that the upgrade ended.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "shell/tests/win/upgrade_test_support.h"

using namespace tvsp_test;

namespace {

using UpgradeBench = UpgradeTest;

struct Stage {
    const char* name;
    const char* fixedWaits;  // what the workflow waits on purpose within the stage
    DWORD endMs = 0;         // since the click; 0 while not reached
};

bool HasBox() {
    const json boxes = json::parse(Uictl(L"msgbox").output, nullptr, false);
    return boxes.is_object() && boxes.contains("boxes") && boxes["boxes"].is_array() && !boxes["boxes"].empty();
}

}  // namespace

TEST_F(UpgradeBench, StageTimesOfAnEightMiBUpgrade) {
    VWATCH_OK(watch.SetVersion("WK7_GSM1.2.3_BLE4_U_V5"));
    VWATCH_OK(watch.SetNewVersion("WK7_GSM1.9.9_BLE4_U_V5"));
    // The watch's own delays at their minimum: the download port must come after the engine's first
    // look at the ports (a port already there is the old one), so not at once.
    VWATCH_OK(watch.SetDownloadDelay(1000));
    RunningTool tool(L"C:\\tvsp-bench\\upgrade");
    OfferPackage(tool, "watchk7_mt60d_ublox", "1.9.9", "bench-8mib");
    ASSERT_TRUE(server.Reply("/upgrade/query", 200, "contacts=mum\nalarms=07:00"));
    ASSERT_TRUE(tool.Start());
    DeviceAnnouncer announcer(SendUictl, kDownloadCom);
    ASSERT_TRUE(WaitUntil([] { return ControlVisible(MainWindowSnapshot(), "updateButton"); }, 60000));

    std::vector<Stage> stages = {
        {"package download, check, unpacking, readiness", "none when the first AT^TESTSTART answers"},
        {"reboot to the download port's arrival", "the watch's own (download delay 1000 ms)"},
        {"writing the ROM set, watchdog restart", "the engine's watchdog (50 ms)"},
        {"the tool sees the watch back", "one announcement poll (100 ms)"},
        {"restore (IMEI, query, AT^RSDTA/B)", "none when every part is taken at once"},
    };
    const DWORD click = ::GetTickCount();
    ASSERT_EQ(Uictl(L"click mainWnd/updateButton").exitCode, 0u);
    std::size_t next = 0;
    const auto reached = [&](std::size_t index) {
        const DWORD now = ::GetTickCount() - click;
        for (; next <= index && next < stages.size(); ++next) stages[next].endMs = now;
    };
    while (next < stages.size() && ::GetTickCount() - click < 300000) {
        const std::string status = watch.Status();
        const bool normal = status.find("mode=normal") != std::string::npos;
        if (next == 0 && !normal) reached(0);
        if (next == 1 && status.find("mode=download") != std::string::npos) reached(1);
        if (next == 2 && normal) reached(2);
        if (next == 3) {
            const std::string detail = ControlText(MainWindowSnapshot(), "detail");
            if (detail == "正在进行数据备份" || detail == "正在进行数据恢复") reached(3);
        }
        if (next == 4 && HasBox()) reached(4);
        if (next >= 1 && ::GetTickCount() % 8 == 0) {
            const json window = MainWindowSnapshot();
            ASSERT_FALSE(ControlVisible(window, "panel-fail")) << ControlTextIn(window, "panel-fail", "label");
        }
        ::Sleep(next == 0 ? 20 : 50);
    }
    ASSERT_EQ(next, stages.size()) << "the upgrade did not end within 300 s";
    Uictl(L"msgbox-press OK");

    std::printf("\n8 MiB ROM set, class 20, on the real tool under Wine (resolution about one snapshot, 0.1-0.3 s)\n");
    std::printf("%-42s %10s %10s   %s\n", "stage", "ends at ms", "takes ms", "waits the workflow makes");
    DWORD previous = 0;
    for (const Stage& stage : stages) {
        std::printf("%-42s %10lu %10lu   %s\n", stage.name, stage.endMs, stage.endMs - previous, stage.fixedWaits);
        previous = stage.endMs;
    }
    std::printf("%-42s %10lu\n", "click to the restore's box", previous);
    // The upgrade is over once the window says so; closing before would ask about the flash.
    EXPECT_TRUE(WaitUntil([] { return ControlText(MainWindowSnapshot(), "detail") == "当前固件已是最新版！"; }, 30000));
    EXPECT_TRUE(tool.CloseByButton());
}
