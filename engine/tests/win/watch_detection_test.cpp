// Watch detection end to end: port found through brom.dll, AT+CGMR, catalogue, take-over.
#include <windows.h>

#include <string>
#include <vector>

#include "engine/model_catalog.h"
#include "engine/watch_detection.h"
#include "engine/tests/win/watch_test_support.h"

using namespace TVSP;
using tvsp_test::kWatchPort;

namespace {

// Records what the window side was asked to do, in order.
class RecordingWindow : public IWatchWindowSide {
public:
    std::vector<std::string> calls;
    std::string shownVersion = "<unset>";
    std::wstring hint = L"<unset>";
    std::string imei = "<unset>";

    void CloseConnectionGuideIfOpen() override { calls.push_back("guide"); }
    void ShowFirmwareVersion(const std::string& version) override {
        calls.push_back("version");
        shownVersion = version;
    }
    void OnModelChanged() override { calls.push_back("model-changed"); }
    void ShowBatteryHint(const std::wstring& text) override {
        calls.push_back("hint");
        hint = text;
    }
    void OnSameModelAttached() override { calls.push_back("same-model"); }
    void CheckPendingRestore(const std::string& pendingImei) override {
        calls.push_back("restore");
        imei = pendingImei;
    }
};

// The data file: what was written, in the window's call order, and the IMEI it remembers.
class RecordingDataFile : public IWatchDataFile {
public:
    explicit RecordingDataFile(std::vector<std::string>& calls) : calls_(calls) {}
    std::vector<std::pair<std::string, std::string>> written;  // model key, version
    std::string imei;

    void WriteWatch(const std::string& modelKey, const std::string& version) override {
        calls_.push_back("write");
        written.emplace_back(modelKey, version);
    }
    std::string ReadImei() override {
        calls_.push_back("read-imei");
        return imei;
    }
    void WriteVersion(const std::string& version) override { calls_.push_back("write-version " + version); }
    void WriteImei(const std::string& value) override { imei = value; }
    void DeleteImei() override { imei.clear(); }

private:
    std::vector<std::string>& calls_;
};

class WatchDetectionTest : public tvsp_test::VirtualWatchTest {};

struct DetectionRow {
    const char* reported;
    const char* modelKey;  // nullptr: no model
    const char* version;
    unsigned modelClass;
};

const DetectionRow kRows[] = {
    {"WK7_GSM1.2.3_BLE4_U_V5", "watchk7_mt60d_ublox", "1.2.3", 20},
    {"wk7_gsm2.0_ble1_u_v3", "watchk7_mt60d_ublox_2", "2.0", 20},
    {"wk7_gsm2.0_ble1_b_v3", "watchk7_mt60d_broadcom", "2.0", 20},
    {"wn3_gsm7.1,x", "watchn3_mt61a_ublox", "7.1", 50},
    {"WM5C_GSM3.1_BLE2_U_V1", "watchm5c_mt60d_ublox", "3.1", 33},
    {"watchk7_mt60d_v12.4", nullptr, "", 0},
};

}  // namespace

TEST_F(WatchDetectionTest, IdentifiesEachWatchThroughTheDownloadLibraryPort) {
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.reported);
        VWATCH_OK(watch.SetVersion(row.reported));
        const auto detected = IdentifyAttachedWatch();
        if (!row.modelKey) {
            EXPECT_FALSE(detected.has_value());
            continue;
        }
        ASSERT_TRUE(detected.has_value());
        EXPECT_EQ(detected->port, kWatchPort);
        EXPECT_EQ(detected->modelKey, row.modelKey);
        EXPECT_EQ(detected->version, row.version);
        EXPECT_EQ(detected->fullText, row.reported);
        EXPECT_EQ(ModelClassForKey(detected->modelKey), row.modelClass);
    }
}

TEST_F(WatchDetectionTest, TakesOverANewModelAndRemembersIt) {
    VWATCH_OK(watch.SetVersion("WK7_GSM1.2.3_BLE4_U_V5"));
    RecordingWindow window;
    RecordingDataFile data(window.calls);
    data.imei = "861234567890123";
    // The data file's model when nothing was stored yet.
    WatchRecord record(kDefaultModelKey);

    ASSERT_TRUE(DetectWatch(record, window, data));

    const std::vector<std::string> expected{"guide", "version", "model-changed", "hint", "write", "read-imei",
                                            "restore"};
    EXPECT_EQ(window.calls, expected);
    EXPECT_EQ(window.shownVersion, "1.2.3");
    EXPECT_EQ(window.hint, L"刷机前请保持设备电量在50%以上");
    EXPECT_EQ(window.imei, "861234567890123");
    const auto now = record.Get();
    EXPECT_TRUE(now.connected);
    EXPECT_EQ(now.port, kWatchPort);
    EXPECT_EQ(now.modelKey, "watchk7_mt60d_ublox");
    EXPECT_EQ(now.modelClass, 20u);
    const std::vector<std::pair<std::string, std::string>> written{{"watchk7_mt60d_ublox", "1.2.3"}};
    EXPECT_EQ(data.written, written);
}

TEST_F(WatchDetectionTest, SameModelAgainGoesStraightToTheKnownState) {
    VWATCH_OK(watch.SetVersion("wk8_gsm4.5_ble1_u_v2"));
    WatchRecord record(kDefaultModelKey);
    RecordingWindow window;
    RecordingDataFile data(window.calls);
    ASSERT_TRUE(DetectWatch(record, window, data));
    // The default model is this one, so nothing changed and no ROM check is asked for.
    const std::vector<std::string> expected{"guide", "version", "same-model", "write", "read-imei", "restore"};
    EXPECT_EQ(window.calls, expected);
    EXPECT_EQ(window.imei, "");
    const std::vector<std::pair<std::string, std::string>> written{{"watchk8_mt60d_ublox", "4.5"}};
    EXPECT_EQ(data.written, written);
    EXPECT_EQ(record.Get().modelClass, 32u);
}

TEST_F(WatchDetectionTest, NothingIsReportedWithoutAWatchOrAMatch) {
    WatchRecord record(kDefaultModelKey);
    RecordingWindow window;
    RecordingDataFile data(window.calls);

    VWATCH_OK(watch.SetVersion("watchk7_mt60d_v12.4"));
    EXPECT_FALSE(DetectWatch(record, window, data));
    VWATCH_OK(watch.SetFault("AT+CGMR", "silent"));
    EXPECT_FALSE(DetectWatch(record, window, data));
    VWATCH_OK(watch.Unplug());
    EXPECT_FALSE(DetectWatch(record, window, data));

    // Neither the window nor the data file heard of it.
    EXPECT_TRUE(window.calls.empty());
    EXPECT_FALSE(record.IsConnected());
}

TEST(WatchRecordTest, SelectModelChangesTheClassOnlyForOfferedKeys) {
    WatchRecord record("watchm5_mt60d_ublox");
    EXPECT_EQ(record.Get().modelClass, 31u);
    record.SelectModel("watcht4_mt2503d_mt3333");
    EXPECT_EQ(record.Get().modelClass, 51u);
    record.SelectModel("watchn3_mt61a_ublox");  // not offered for manual choice: class kept
    EXPECT_EQ(record.Get().modelKey, "watchn3_mt61a_ublox");
    EXPECT_EQ(record.Get().modelClass, 51u);
    record.SelectModel("watchk7_mt60d_ublox_2");
    EXPECT_EQ(record.Get().modelClass, 20u);
}

TEST(WatchRecordTest, ALostConnectionKeepsTheWatchARemovalForgetsIt) {
    struct Row {
        const char* what;
        void (WatchRecord::*lose)();
        int port;
        const char* modelKey;
    };
    const Row rows[] = {
        {"connection lost", &WatchRecord::MarkNotConnected, 7, "watchn3_mt61a_ublox"},
        {"watch removed", &WatchRecord::Disconnect, 0, ""},
    };
    for (const Row& row : rows) {
        WatchRecord record;
        record.TakeOver(7, "WATCHN3_MT61A_UBLOX", "7.1");
        (record.*row.lose)();
        const auto now = record.Get();
        EXPECT_FALSE(now.connected) << row.what;
        EXPECT_FALSE(record.IsConnected()) << row.what;
        EXPECT_EQ(now.port, row.port) << row.what;
        EXPECT_EQ(now.modelKey, row.modelKey) << row.what;
        EXPECT_EQ(now.modelClass, 50u) << row.what;  // the class of the last watch either way
        EXPECT_EQ(now.version, "7.1") << row.what;
    }
}
