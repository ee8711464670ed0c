// Tests of the ROM check entry lookup (as tables of replies) and of the client check URL.
#include <gtest/gtest.h>

#include <string>

#include "update/rom_store_rules.h"
#include "update/update_replies.h"

namespace TVSP {
namespace {

constexpr char kKey[] = "watchk7_mt60d_ublox";

TEST(FindRomCheckEntry, RepliesThatNameTheModel) {
    struct Row {
        const char* name;
        const char* body;
        const char* version;
        const char* url;
        std::uint32_t timestamp;
        const char* note1;
        const char* note2;
    };
    const Row rows[] = {
        {"plain",
         R"({"watchk7_mt60d_ublox":{"version":"1.5.0","url":"http://h/k7.cab","timestamp":951782400,"logs":["a","b"]}})",
         "1.5.0", "http://h/k7.cab", 951782400, "a", "b"},
        {"upper-case first letter",
         R"({"Watchk7_mt60d_ublox":{"version":"1.5.1"}})", "1.5.1", "", 0, "", ""},
        {"two that match: the first in byte order of the names",
         R"({"watchk7_mt60d_ublox":{"version":"lower"},"WATCHK7_MT60D_UBLOX":{"version":"upper"}})", "upper", "", 0,
         "", ""},
        {"a duplicate name: the last counts",
         R"({"watchk7_mt60d_ublox":{"version":"first"},"watchk7_mt60d_ublox":{"version":"second"}})", "second", "", 0,
         "", ""},
        {"one note hides the second", R"({"watchk7_mt60d_ublox":{"version":"2","logs":["only"]}})", "2", "", 0, "only",
         ""},
        {"other models and fields ignored",
         R"({"watchm2_mt60d_ublox":{"version":"9"},"watchk7_mt60d_ublox":{"version":"3","extra":1}})", "3", "", 0, "",
         ""},
        {"timestamp 0", R"({"watchk7_mt60d_ublox":{"version":"4","timestamp":0}})", "4", "", 0, "", ""},
        {"timestamp at the 32-bit limit", R"({"watchk7_mt60d_ublox":{"version":"4","timestamp":4294967295}})", "4", "",
         4294967295u, "", ""},
        {"timestamp beyond it", R"({"watchk7_mt60d_ublox":{"version":"4","timestamp":4294967296}})", "4", "", 0, "",
         ""},
        {"negative timestamp", R"({"watchk7_mt60d_ublox":{"version":"4","timestamp":-1}})", "4", "", 0, "", ""},
        {"textual timestamp", R"({"watchk7_mt60d_ublox":{"version":"4","timestamp":"1000"}})", "4", "", 0, "", ""},
        {"version not a string", R"({"watchk7_mt60d_ublox":{"version":150,"url":"http://h/x"}})", "", "http://h/x", 0,
         "", ""},
        {"logs not an array", R"({"watchk7_mt60d_ublox":{"version":"5","logs":"text"}})", "5", "", 0, "", ""},
        {"a note not a string", R"({"watchk7_mt60d_ublox":{"version":"5","logs":[1,"two"]}})", "5", "", 0, "", "two"},
        {"UTF-8 notes kept as bytes", "{\"watchk7_mt60d_ublox\":{\"version\":\"6\",\"logs\":[\"\xE4\xBF\xAE\xE5\xA4\x8D\"]}}",
         "6", "", 0, "\xE4\xBF\xAE\xE5\xA4\x8D", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto entry = FindRomCheckEntry(row.body, kKey);
        ASSERT_TRUE(entry.has_value());
        EXPECT_EQ(entry->version, row.version);
        EXPECT_EQ(entry->url, row.url);
        EXPECT_EQ(entry->timestamp, row.timestamp);
        EXPECT_EQ(entry->note1, row.note1);
        EXPECT_EQ(entry->note2, row.note2);
    }
}

TEST(FindRomCheckEntry, RepliesWithoutAnEntry) {
    const char* const bodies[] = {
        "",
        "not json",
        R"({"watchk7_mt60d_ublox":{"version":"1")",   // cut short
        R"([{"watchk7_mt60d_ublox":{"version":"1"}}])",  // a top-level array
        R"("watchk7_mt60d_ublox")",
        R"({"watchm2_mt60d_ublox":{"version":"1"}})",
        R"({"watchk7_mt60d_ublox":"1.5.0"})",           // an entry that is no object
        R"({"watchk7_mt60d_ublox ":{"version":"1"}})",  // a name that differs by a space
    };
    for (const char* body : bodies) EXPECT_FALSE(FindRomCheckEntry(body, kKey).has_value()) << body;
}

TEST(BuildClientCheckUrl, PidAndVersionOrTheBareEndpoint) {
    EXPECT_EQ(BuildClientCheckUrl("http://localhost:8080/checkupdate/pc", "abc", "1.0.0.0"),
              "http://localhost:8080/checkupdate/pc?pid=900150983cd24fb0d6963f7d28e17f72&ver=1.0.0.0");
    EXPECT_EQ(BuildClientCheckUrl("http://localhost:8080/checkupdate/pc", "", "1.0.0.0"),
              "http://localhost:8080/checkupdate/pc");
}

TEST(BuildImeiQueryUrl, OnlyDigitsReachTheQuery) {
    const char* base = "https://localhost:8443";
    EXPECT_EQ(BuildImeiQueryUrl(base, "861234567890123"), "https://localhost:8443/upgrade/query?imei=861234567890123");
    const struct {
        const char* imei;
        bool valid;
    } rows[] = {
        {"8612345678901", false},        // 13 digits
        {"86123456789012", true},        // 14
        {"86123456789012345", true},     // 17
        {"861234567890123456", false},   // 18
        {"86123456789012&x=1", false},
        {"861234567890123 ", false},
        {"86123456789012\r", false},
        {"", false},
    };
    for (const auto& row : rows) EXPECT_EQ(BuildImeiQueryUrl(base, row.imei).has_value(), row.valid) << row.imei;
}

TEST(RomSetFolderName, OnlySafeCharactersNameTheFolder) {
    struct Row {
        const char* version;
        const char* folder;
    };
    const Row rows[] = {
        {"1.2.3", "watchk7_mt60d_ublox-1.2.3"},
        {"1.2/3", "watchk7_mt60d_ublox-1.2_3"},
        {"1.2 beta", "watchk7_mt60d_ublox-1.2 beta"},
        {"..\\..\\x", "watchk7_mt60d_ublox-.._.._x"},
        {"C:1", "watchk7_mt60d_ublox-C_1"},
        {"\xE7\x89\x88", "watchk7_mt60d_ublox-___"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(RomSetFolderName(RomSetName(kKey, row.version)), row.folder) << row.version;
    }
}

}  // namespace
}  // namespace TVSP
