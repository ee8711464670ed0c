// Region selection by model class and the download-port search over scripted enumerations.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "engine/download_port_search.h"
#include "engine/region_selection.h"

using namespace TVSP;

namespace {

TEST(RegionSelection, ByModelClass) {
    const struct {
        unsigned modelClass;
        const char* name;
        bool written;
    } rows[] = {
        // The package of "ARM_BL", "ROM", "OTA": class 20 writes ROM and OTA, 33 and 50 only OTA.
        {20, "ARM_BL", false}, {20, "ROM", true}, {20, "OTA", true},
        {33, "ARM_BL", false}, {33, "ROM", false}, {33, "OTA", true},
        {50, "ARM_BL", false}, {50, "ROM", false}, {50, "OTA", true},
        // Case does not matter, in either rule.
        {20, "arm_bl", false}, {31, "Arm_Ext_Bl", false}, {32, "rom", true}, {51, "ota", true},
        {33, "ota", true}, {50, "Ota", true},
        // Near misses are other regions.
        {20, "ARM_BL2", true}, {20, "ARM_B", true}, {20, "", true}, {33, "OTA ", false}, {33, "", false},
        {50, "OTA_BACKUP", false}, {51, "ARM_EXT_BL", false}, {32, "ARM_BL", false},
        // Letters outside ASCII are not folded.
        {33, "\xC3\x93TA", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(IsRegionWritten(row.modelClass, row.name), row.written) << row.modelClass << " " << row.name;
}

PortList List(std::initializer_list<unsigned short> ports) {
    PortList list{};
    std::size_t i = 0;
    for (unsigned short p : ports) list[i++] = p;
    return list;
}

struct Enumeration {
    int result;
    PortList ports;
};

// Runs passes until one finds a port; the port, or 0 when none did.
unsigned short Search(const Enumeration& snapshot, const std::vector<Enumeration>& passes, std::size_t* at = nullptr) {
    DownloadPortSearch search;
    if (!search.TakeSnapshot(snapshot.result, snapshot.ports)) return 0xFFFF;
    for (std::size_t i = 0; i < passes.size(); ++i) {
        if (const unsigned short port = search.Pass(passes[i].result, passes[i].ports)) {
            if (at) *at = i;
            return port;
        }
    }
    return 0;
}

TEST(DownloadPortSearch, FindsTheWatchWhereverItComesBack) {
    const struct {
        const char* what;
        Enumeration snapshot;
        std::vector<Enumeration> passes;
        unsigned short port;
        std::size_t pass;  // which pass finds it
    } rows[] = {
        {"lower port at once", {0, List({3, 7})}, {{0, List({3, 5})}}, 5, 0},
        {"lower, vanishing first", {0, List({3, 7})}, {{0, List({3})}, {0, List({3, 4})}}, 4, 1},
        {"higher port: only at a place the snapshot leaves empty", {0, List({3, 7})},
         {{0, List({3, 9})}, {0, List({3})}, {0, List({3, 9})}}, 9, 2},
        {"higher port next to the old one", {0, List({3, 7})}, {{0, List({3, 7, 9})}}, 9, 0},
        {"same port back after it vanished", {0, List({5})}, {{2, {}}, {0, List({5})}}, 5, 1},
        {"empty snapshot: first port", {2, {}}, {{0, List({12, 30})}}, 12, 0},
        {"snapshot of nothing, then nothing, then the watch", {2, {}}, {{2, {}}, {0, List({8})}}, 8, 1},
        {"result 2 empties the snapshot", {0, List({3, 7})}, {{2, {}}, {0, List({9})}}, 9, 1},
        {"other failures keep the snapshot", {0, List({3, 7})}, {{3, List({1})}, {0, List({3, 7})}, {0, List({3, 6})}}, 6, 2},
        {"first entry zero in a valid list", {2, {}}, {{0, List({0, 4})}}, 4, 0},
    };
    for (const auto& row : rows) {
        std::size_t at = 999;
        EXPECT_EQ(Search(row.snapshot, row.passes, &at), row.port) << row.what;
        EXPECT_EQ(at, row.pass) << row.what;
    }
}

TEST(DownloadPortSearch, NothingNewIsNothingFound) {
    const struct {
        const char* what;
        Enumeration snapshot;
        std::vector<Enumeration> passes;
    } rows[] = {
        {"unchanged", {0, List({3, 7})}, {{0, List({3, 7})}, {0, List({3, 7})}}},
        {"a port went away", {0, List({3, 7})}, {{0, List({3})}}},
        {"higher where the snapshot has an entry", {0, List({3, 7})}, {{0, List({3, 9})}}},
        {"always failing", {0, List({3})}, {{1, {}}, {4, List({2})}, {-1, {}}}},
        {"no port ever", {2, {}}, {{2, {}}, {2, {}}}},
    };
    for (const auto& row : rows) EXPECT_EQ(Search(row.snapshot, row.passes), 0) << row.what;
}

TEST(DownloadPortSearch, SnapshotFailsOnlyOnResultsOtherThanZeroAndTwo) {
    for (int result : {1, 3, 4, -1, 0x7FFFFFFF}) {
        DownloadPortSearch search;
        EXPECT_FALSE(search.TakeSnapshot(result, List({3}))) << result;
    }
    DownloadPortSearch search;
    EXPECT_TRUE(search.TakeSnapshot(2, List({3})));
    EXPECT_EQ(search.Snapshot(), PortList{});  // the list of a result 2 is not taken
    EXPECT_TRUE(search.TakeSnapshot(0, List({3, 4})));
    EXPECT_EQ(search.Snapshot(), List({3, 4}));
}

TEST(DownloadPortSearch, AFullListIsWalkedToItsLastEntry) {
    PortList snapshot{}, fresh{};
    for (std::size_t i = 0; i < kPortListSize; ++i) snapshot[i] = fresh[i] = static_cast<unsigned short>(i + 1);
    fresh[kPortListSize - 1] = 250;  // lower than 255 at the last place
    DownloadPortSearch search;
    ASSERT_TRUE(search.TakeSnapshot(0, snapshot));
    EXPECT_EQ(search.Pass(0, fresh), 250);
}

}  // namespace
