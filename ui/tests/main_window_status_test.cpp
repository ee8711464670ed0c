// Status refresh rules: every display state against each kind of watch version, notes and dates.
#include <gtest/gtest.h>

#include "ui/main_window_status.h"

using namespace TVSP;

namespace {

// The visible flag the view sets for a control: 1 shown, 0 hidden, -1 untouched.
int Visible(const StatusView& view, const char* name) {
    const auto it = view.controls.find(name);
    if (it == view.controls.end() || !it->second.visible) return -1;
    return *it->second.visible ? 1 : 0;
}

std::wstring Text(const StatusView& view, const char* name) {
    const auto it = view.controls.find(name);
    if (it == view.controls.end() || !it->second.text) return L"<untouched>";
    return *it->second.text;
}

StatusInputs Inputs(DisplayState state, const char* watchVersion, const char* latest = "1.5.0",
                    const char* model = "watchk7_mt60d_ublox") {
    StatusInputs in;
    in.state = state;
    in.connected = state == DisplayState::Ready;
    in.watchVersion = watchVersion;
    in.modelKey = model;
    in.latest.version = latest;
    return in;
}

struct VerdictRow {
    DisplayState state;
    const char* watchVersion;
    const char* model;
    bool awaitSelfUpgrade;
    const wchar_t* detail;
    int newBadge;
    int updateButton;
    int detail2;
};

const VerdictRow kVerdicts[] = {
    // No watch version known.
    {DisplayState::Disconnected, "", "watchk7_mt60d_ublox", false, L"发现新版本，连接设备，即可升级！", 1, 0, 0},
    {DisplayState::Ready, "", "watchk7_mt60d_ublox", false, L"发现新版本，连接设备，即可升级！", 1, 0, -1},
    // Test devices: 16 and below; 17 compared normally.
    {DisplayState::Ready, "0.0.16", "watchk7_mt60d_ublox", false,
     L"抱歉，您的设备为公测设备，由于硬件规格不同，已无法升级", 0, 0, -1},
    {DisplayState::Disconnected, "0.0.16", "watchk7_mt60d_ublox", false, L"", 0, 0, 0},
    {DisplayState::Ready, "16", "watchk7_mt60d_ublox", false,
     L"抱歉，您的设备为公测设备，由于硬件规格不同，已无法升级", 0, 0, -1},
    {DisplayState::Ready, "0.0.17", "watchk7_mt60d_ublox", false, L"当前固件版本：0.0.17, 可一键升级", 1, 1, -1},
    // Older than the latest.
    {DisplayState::Ready, "1.4.9", "watchk7_mt60d_ublox", false, L"当前固件版本：1.4.9, 可一键升级", 1, 1, -1},
    {DisplayState::Disconnected, "1.4.9", "watchk7_mt60d_ublox", false, L"发现新版本，连接设备，即可升级！", 1, 0, 0},
    {DisplayState::Ready, "1.4.9", "watchn3x_mt61a_ublox", false, L"请确保手表网络正常，否则无法升级！", 1, 1, 1},
    // Equal and newer.
    {DisplayState::Ready, "1.5.0", "watchk7_mt60d_ublox", false, L"当前固件已是最新版！", 0, 0, -1},
    {DisplayState::Ready, "1.5.1", "watchk7_mt60d_ublox", false, L"当前固件已是最新版！", 0, 0, -1},
    {DisplayState::Ready, "1.5.0", "watchm5c_mt60d_ublox", true, L"固件下载成功，手表会自动重启并完成升级", 0, 0, -1},
    {DisplayState::Disconnected, "1.5.0", "watchk7_mt60d_ublox", false, L"", 0, 0, 0},
    {DisplayState::Ready, "1.5.0", "watchn3x_mt61a_ublox", false,
     L"固件拷贝成功，请拔掉数据线，手表10秒后将自动升级！若手表网络不可用，则无法升级！", 0, 0, -1},
};

}  // namespace

TEST(MainWindowStatus, VerdictTextsForEveryWatchVersion) {
    for (const auto& row : kVerdicts) {
        SCOPED_TRACE(std::string(row.watchVersion) + " " + row.model + " state " +
                     std::to_string(static_cast<int>(row.state)));
        StatusInputs in = Inputs(row.state, row.watchVersion, "1.5.0", row.model);
        in.awaitSelfUpgrade = row.awaitSelfUpgrade;
        const StatusView view = ComputeStatusView(in);
        EXPECT_EQ(Text(view, "detail"), row.detail);
        EXPECT_EQ(Visible(view, "new"), row.newBadge);
        EXPECT_EQ(Visible(view, "updateButton"), row.updateButton);
        EXPECT_EQ(Visible(view, "detail2"), row.detail2);
        EXPECT_EQ(Visible(view, "progress"), 0);
    }
}

TEST(MainWindowStatus, TwoPartAndThreePartVersionsCompareAsPeopleReadThem) {
    EXPECT_EQ(Visible(ComputeStatusView(Inputs(DisplayState::Ready, "7.1.1", "7.2")), "updateButton"), 1);
    EXPECT_EQ(Visible(ComputeStatusView(Inputs(DisplayState::Ready, "7.2", "7.1.1")), "updateButton"), 0);
}

TEST(MainWindowStatus, PanelsAndBottomBarFollowTheState) {
    const StatusView off = ComputeStatusView(Inputs(DisplayState::Disconnected, ""));
    EXPECT_EQ(Text(off, "WatchTitle"), L"TarvoSprout（未连接）");
    EXPECT_EQ(Visible(off, "watchdisconnect"), 1);
    EXPECT_EQ(Visible(off, "startconnect"), 1);
    EXPECT_EQ(Visible(off, "watchconnect"), 0);
    EXPECT_EQ(Text(off, "Status"), L"未连接");
    EXPECT_EQ(Visible(off, "MobileIcon"), 1);
    EXPECT_EQ(Visible(off, "MobileIconLink"), 0);

    const StatusView on = ComputeStatusView(Inputs(DisplayState::Ready, "1.4.0"));
    EXPECT_EQ(Text(on, "WatchTitle"), L"TarvoSprout");
    EXPECT_EQ(Visible(on, "watchconnect"), 1);
    EXPECT_EQ(Visible(on, "startconnect"), 0);
    EXPECT_EQ(Text(on, "Status"), L"已连接TarvoSprout");
    EXPECT_EQ(Visible(on, "MobileIcon"), 0);
    EXPECT_EQ(Visible(on, "MobileIconLink"), 1);
    EXPECT_FALSE(on.clearFlashRunning);

    for (bool mayGoBack : {true, false}) {
        StatusInputs in = Inputs(DisplayState::Failed, "1.4.0");
        in.connected = true;
        in.failureMayGoBack = mayGoBack;
        const StatusView failed = ComputeStatusView(in);
        EXPECT_EQ(Visible(failed, "panel-ready"), 0);
        EXPECT_EQ(Visible(failed, "panel-fail"), 1);
        EXPECT_EQ(Visible(failed, "back"), mayGoBack ? 1 : 0);
        EXPECT_EQ(Visible(failed, "retry"), mayGoBack ? 0 : 1);
        EXPECT_TRUE(failed.clearFlashRunning);
        // The failure page leaves the upgrade page's texts as they were.
        EXPECT_EQ(Text(failed, "detail"), L"<untouched>");
        EXPECT_EQ(Text(failed, "version"), L"<untouched>");
    }
}

TEST(MainWindowStatus, ReleaseNotesNoneOneTwo) {
    StatusInputs in = Inputs(DisplayState::Ready, "1.4.0");
    StatusView view = ComputeStatusView(in);
    for (const char* name : {"updatelogname", "updatelogvalue1", "updatelogvalue2"}) EXPECT_EQ(Visible(view, name), 0);

    in.latest.note1 = L"修复蓝牙断连";
    view = ComputeStatusView(in);
    EXPECT_EQ(Visible(view, "updatelogname"), 1);
    EXPECT_EQ(Text(view, "updatelogvalue1"), L"1. 修复蓝牙断连");
    EXPECT_EQ(Visible(view, "updatelogvalue2"), 0);

    in.latest.note2 = L"优化续航";
    view = ComputeStatusView(in);
    EXPECT_EQ(Visible(view, "updatelogvalue2"), 1);
    EXPECT_EQ(Text(view, "updatelogvalue2"), L"2. 优化续航");
}

TEST(MainWindowStatus, ReleaseDateIsTheUtcDay) {
    EXPECT_EQ(FormatReleaseDate(0), L"");
    EXPECT_EQ(FormatReleaseDate(1), L"1970年01月01日");
    EXPECT_EQ(FormatReleaseDate(86399), L"1970年01月01日");
    EXPECT_EQ(FormatReleaseDate(86400), L"1970年01月02日");
    EXPECT_EQ(FormatReleaseDate(951782400), L"2000年02月29日");  // leap day
    EXPECT_EQ(FormatReleaseDate(1796601599), L"2026年12月06日");  // 23:59:59 UTC, 07:59:59 in Beijing
    EXPECT_EQ(FormatReleaseDate(-1), L"1969年12月31日");

    StatusInputs in = Inputs(DisplayState::Disconnected, "");
    in.latest.releaseTime = 951782400;
    EXPECT_EQ(Text(ComputeStatusView(in), "updatedatevalue"), L"2000年02月29日");
    in.latest.releaseTime = 0;
    EXPECT_EQ(Text(ComputeStatusView(in), "updatedatevalue"), L"");
    EXPECT_EQ(Text(ComputeStatusView(in), "version"), L"1.5.0");
    in.latest.version.clear();
    EXPECT_EQ(Text(ComputeStatusView(in), "version"), L"<untouched>");
}
