// Model catalogue: every row with near misses, row order, classes, hints, the firmware gate, folders.
#include "engine/model_catalog.h"

#include <gtest/gtest.h>

#include <string>

namespace TVSP {
namespace {

struct MatchRow {
    std::string text;
    int row;  // -1: no match
    const char* modelKey;
    const char* version;
};

void PrintTo(const MatchRow& row, std::ostream* os) { *os << '"' << row.text << '"'; }

class MatchWatchModelTable : public ::testing::TestWithParam<MatchRow> {};

TEST_P(MatchWatchModelTable, FirstWholeMatchWins) {
    const MatchRow& expected = GetParam();
    const auto match = MatchWatchModel(expected.text);
    if (expected.row < 0) {
        EXPECT_FALSE(match.has_value()) << "matched row " << match->row;
        return;
    }
    ASSERT_TRUE(match.has_value());
    EXPECT_EQ(match->row, expected.row);
    EXPECT_EQ(match->modelKey, expected.modelKey);
    EXPECT_EQ(match->version, expected.version);
}

INSTANTIATE_TEST_SUITE_P(Rows, MatchWatchModelTable, ::testing::Values(
    // Row 0: needs a comma after the version; the version runs to the last comma (greedy).
    MatchRow{"watchk7_mt60d_v12.4,2018", 0, "watchk7_mt60d", "12.4"},
    MatchRow{"WATCHK7_MT60D_V1.0,X", 0, "watchk7_mt60d", "1.0"},
    MatchRow{"watchk7_mt60d_v1,2,3", 0, "watchk7_mt60d", "1,2"},
    MatchRow{"watchk7_mt60d_v12.4,", 0, "watchk7_mt60d", "12.4"},
    MatchRow{"watchk7_mt60d_v12.4", -1, "", ""},
    MatchRow{"xwatchk7_mt60d_v1,2", -1, "", ""},
    // Rows 1..3: the GSM version's first digit picks the row; rows 1 and 2 share a key.
    MatchRow{"wk7_gsm0.9_ble1_u_v2", 1, "watchk7_mt60d_ublox", "0.9"},
    MatchRow{"WK7_GSM1.2.3_BLE4_U_V5", 2, "watchk7_mt60d_ublox", "1.2.3"},
    MatchRow{"wk7_gsm1.0_ble2_x_ble3_u_v4", 2, "watchk7_mt60d_ublox", "1.0_ble2_x"},
    MatchRow{"wk7_gsm2.0_ble1_u_v3", 3, "watchk7_mt60d_ublox_2", "2.0"},
    MatchRow{"wk7_gsm3.0_ble1_u_v3", -1, "", ""},
    MatchRow{"wk7_gsm1.0_ble1_u_x3", -1, "", ""},
    // Row 4: board letter "b", any GSM version.
    MatchRow{"wk7_gsm2.0_ble1_b_v3", 4, "watchk7_mt60d_broadcom", "2.0"},
    MatchRow{"WK7_GSM3.0_BLE1_B_V3", 4, "watchk7_mt60d_broadcom", "3.0"},
    MatchRow{"wk7_gsm2.0_ble1_c_v3", -1, "", ""},
    // Rows 5..9.
    MatchRow{"wm5_gsm3.1_ble2_u_v1", 5, "watchm5_mt60d_ublox", "3.1"},
    MatchRow{"wm5_gsm3.1_ble2_b_v1", -1, "", ""},
    MatchRow{"wk8_gsm4.5_ble1_u_v2", 6, "watchk8_mt60d_ublox", "4.5"},
    MatchRow{"WK8_GSM4.5_BLE1_U_V2", 6, "watchk8_mt60d_ublox", "4.5"},
    MatchRow{"wk8_gsm4.5_ble1_u", -1, "", ""},
    MatchRow{"wm2_gsm1.1_ble1_u_v1", 7, "watchm2_mt60d_ublox", "1.1"},
    MatchRow{"wm2_gsm1.1_u_v1", -1, "", ""},
    MatchRow{"wm5c_gsm6.0_ble1_u_v1", 8, "watchm5c_mt60d_ublox", "6.0"},
    MatchRow{"wm5c_gsm6.0_ble1_b_v1", -1, "", ""},
    MatchRow{"lr9_gsm2.2_ble1_u_v1", 9, "watchr9_mt60d_ublox", "2.2"},
    MatchRow{"r9_gsm2.2_ble1_u_v1", -1, "", ""},
    // Rows 10 and 11: a comma after the version.
    MatchRow{"wn3_gsm7.1,x", 10, "watchn3_mt61a_ublox", "7.1"},
    MatchRow{"WN3_GSM9.2.0,2019/01/01", 10, "watchn3_mt61a_ublox", "9.2.0"},
    MatchRow{"wn3_gsm,x", 10, "watchn3_mt61a_ublox", ""},
    MatchRow{"wn3_gsm7.1", -1, "", ""},
    MatchRow{"wn3x_gsm7.1,x", -1, "", ""},
    MatchRow{"wt4_gsm1.0,abc", 11, "watcht4_mt2503d_mt3333", "1.0"},
    MatchRow{"wt4_gsm1.0", -1, "", ""},
    // Nothing at all.
    MatchRow{"", -1, "", ""},
    MatchRow{"OK", -1, "", ""}));

TEST(MatchWatchModel, LengthBound) {
    const std::string head = "wn3_gsm7.1,";
    const std::string atLimit = head + std::string(kMaxVersionTextLength - head.size(), 'x');
    ASSERT_EQ(atLimit.size(), kMaxVersionTextLength);
    const auto match = MatchWatchModel(atLimit);
    ASSERT_TRUE(match.has_value());
    EXPECT_EQ(match->version, "7.1");
    EXPECT_FALSE(MatchWatchModel(atLimit + "x").has_value());
    EXPECT_FALSE(MatchWatchModel(std::string(100000, 'w')).has_value());
}

TEST(MatchWatchModel, OnlyAsciiLettersAreLowered) {
    // Bytes above 0x7F pass through unchanged and still count as "any character".
    const auto match = MatchWatchModel("WN3_GSM7.\xC4\xB0,\xFF");
    ASSERT_TRUE(match.has_value());
    EXPECT_EQ(match->version, "7.\xC4\xB0");
}

TEST(ModelClassForKey, ExactKeysElseServerRestore) {
    const struct {
        const char* key;
        unsigned modelClass;
    } rows[] = {
        {"watchm5_mt60d_ublox", 31},   {"watchk8_mt60d_ublox", 32},    {"watchr9_mt60d_ublox", 32},
        {"watchn3_mt61a_ublox", 50},   {"watchm5c_mt60d_ublox", 33},   {"watcht4_mt2503d_mt3333", 51},
        {"watchk7_mt60d", 20},         {"watchk7_mt60d_ublox", 20},    {"watchk7_mt60d_ublox_2", 20},
        {"watchk7_mt60d_broadcom", 20}, {"watchm2_mt60d_ublox", 20},   {"watchn3x_mt61a_ublox", 20},
        {"WATCHM5_MT60D_UBLOX", 20},   {"watchm5_mt60d_ublox ", 20},   {"", 20},
    };
    for (const auto& row : rows) EXPECT_EQ(ModelClassForKey(row.key), row.modelClass) << row.key;
}

TEST(ModelClassForSelectedKey, ListedKeysOnly) {
    const struct {
        const char* key;
        std::optional<unsigned> modelClass;
    } rows[] = {
        {"watchm5_mt60d_ublox", 31u},   {"watchk8_mt60d_ublox", 32u},     {"watchr9_mt60d_ublox", 32u},
        {"watchk7_mt60d_ublox", 20u},   {"watchk7_mt60d_ublox_2", 20u},   {"watchm2_mt60d_ublox", 20u},
        {"watcht4_mt2503d_mt3333", 51u},
        {"watchn3_mt61a_ublox", std::nullopt},  {"watchm5c_mt60d_ublox", std::nullopt},
        {"watchk7_mt60d", std::nullopt},        {"watchk7_mt60d_broadcom", std::nullopt},
        {"watchn3x_mt61a_ublox", std::nullopt}, {"", std::nullopt},
    };
    for (const auto& row : rows) EXPECT_EQ(ModelClassForSelectedKey(row.key), row.modelClass) << row.key;
}

TEST(BatteryHintForModel, TextPerModel) {
    const std::wstring oneBar = L"刷机前请保持设备电量至少一格";
    const struct {
        const char* key;
        std::wstring hint;
    } rows[] = {
        {"watchk7_mt60d_ublox", L"刷机前请保持设备电量在50%以上"},
        {"watchk7_mt60d_ublox_2", L"刷机前请保持设备电量在50%以上"},
        {"watchm2_mt60d_ublox", L"刷机前请确保电量充足（未连USB时按键绿灯亮）"},
        {"watchm5_mt60d_ublox", oneBar},
        {"watchk8_mt60d_ublox", oneBar},
        {"watchk7_mt60d", oneBar},
        {"watchn3_mt61a_ublox", oneBar},
        {"", oneBar},
    };
    for (const auto& row : rows) EXPECT_EQ(BatteryHintForModel(row.key), row.hint) << row.key;
    // The literals must arrive as UTF-16/32 code points, not as the UTF-8 bytes of the source.
    EXPECT_EQ(oneBar.size(), 14u);
    EXPECT_EQ(oneBar[0], L'\x5237');
}

TEST(IsLegacyFirmware, BelowNineTwoZeroWhateverThePartCount) {
    const struct {
        const char* version;
        bool legacy;
    } rows[] = {
        {"9.1.65535", true}, {"9.1.9", true}, {"9.2.0", false}, {"9.2.1", false}, {"9.1", true},
        {"9.2", false},      {"9.3", false},  {"10.0", false},  {"7.1", true},    {"9.1.0.0", true},
        {"9.2.0.0", false},  {"9.1.99.99", true}, {"", true},   {"beta", true},
    };
    for (const auto& row : rows) EXPECT_EQ(IsLegacyFirmware(row.version), row.legacy) << row.version;
}

TEST(RomFolderName, KeyDashVersionWithUnsafeCharactersReplaced) {
    const struct {
        const char* key;
        const char* version;
        const char* folder;
    } rows[] = {
        {"watchk7_mt60d_ublox", "1.2.3", "watchk7_mt60d_ublox-1.2.3"},
        {"watchn3_mt61a_ublox", "9.2.0 beta", "watchn3_mt61a_ublox-9.2.0 beta"},
        {"watchk8_mt60d_ublox", "..\\..\\x", "watchk8_mt60d_ublox-.._.._x"},
        {"k", "a/b:c*d?e\"f<g>h|i", "k-a_b_c_d_e_f_g_h_i"},
        {"k", "\xE7\x89\x88", "k-___"},
        {"k", "", "k-"},
        {"", "1.0", "-1.0"},
        {"k", "AZaz09", "k-AZaz09"},
        {"k", "@[`{", "k-____"},
    };
    for (const auto& row : rows) EXPECT_EQ(RomFolderName(row.key, row.version), row.folder) << row.folder;
}

}  // namespace
}  // namespace TVSP
