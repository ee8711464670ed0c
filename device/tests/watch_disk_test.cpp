// The watch-disk decisions: unit mask to letter, the size window, the copy's bar values and outcomes.
#include "device/watch_disk.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace TVSP {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kGiB = 1024 * kMiB;

TEST(WatchDisk, DriveLetterOnlyFromASingleLetterBit) {
    struct Row {
        std::uint32_t mask;
        char letter;
    };
    for (const Row row : {Row{0x1, 'A'}, Row{0x10, 'E'}, Row{0x20000, 'R'}, Row{1u << 25, 'Z'},
                          Row{0, 0}, Row{0x3, 0}, Row{0x20010, 0}, Row{1u << 26, 0}, Row{1u << 31, 0},
                          Row{(1u << 26) | 0x10, 0}, Row{0xFFFFFFFF, 0}}) {
        EXPECT_EQ(DriveLetterFromUnitMask(row.mask), row.letter) << std::hex << row.mask;
    }
}

TEST(WatchDisk, SizeWindowIsAboveTenAndBelowFifteenMiBOnTheFullTotal) {
    struct Row {
        std::uint64_t total;
        bool watch;
    };
    for (const Row row : {Row{10 * kMiB - 1, false}, Row{10 * kMiB, false}, Row{10 * kMiB + 1, true},
                          Row{12 * kMiB, true}, Row{15 * kMiB - 1, true}, Row{15 * kMiB, false},
                          Row{15 * kMiB + 1, false}, Row{0, false}, Row{16 * kMiB, false},
                          // Only the low 32 bits of these look like the watch's disk.
                          Row{4 * kGiB + 12 * kMiB, false}, Row{8 * kGiB + 10 * kMiB + 1, false},
                          Row{~std::uint64_t{0}, false}}) {
        EXPECT_EQ(IsWatchDiskSize(row.total), row.watch) << row.total;
    }
}

TEST(WatchDisk, BarRunsFromTenToOneHundredByTruncation) {
    struct Row {
        std::uint64_t transferred, total;
        int bar;
    };
    for (const Row row : {Row{0, 0, 10}, Row{5, 0, 10}, Row{0, 1000, 10}, Row{500, 1000, 55},
                          Row{1000, 1000, 100},
                          // 89.91: truncated, so the bar is full only when the copy is.
                          Row{999, 1000, 99}, Row{1, 1000, 10}, Row{12, 1000, 11},
                          Row{2000, 1000, 100}, Row{~std::uint64_t{0}, 1, 100},
                          // Beyond 32 bits: the division is not done on a truncated total.
                          Row{2 * kGiB, 4 * kGiB + 12 * kMiB, 54},
                          Row{4 * kGiB, 4 * kGiB + 12 * kMiB, 99}}) {
        EXPECT_EQ(DiskCopyBarValue(row.transferred, row.total), row.bar) << row.transferred << "/" << row.total;
    }
}

TEST(WatchDisk, OutcomeFromTheErrorCode) {
    struct Row {
        std::uint32_t error;
        DiskCopyOutcome outcome;
    };
    for (const Row row : {Row{0, DiskCopyOutcome::Copied}, Row{112, DiskCopyOutcome::DiskFull},
                          Row{39, DiskCopyOutcome::DiskFull}, Row{2, DiskCopyOutcome::SourceOrTargetMissing},
                          Row{3, DiskCopyOutcome::Failed}, Row{5, DiskCopyOutcome::Failed},
                          Row{32, DiskCopyOutcome::Failed}, Row{1167, DiskCopyOutcome::Failed},
                          Row{112 + 0x10000, DiskCopyOutcome::Failed},
                          Row{0xFFFFFFFF, DiskCopyOutcome::Failed}}) {
        EXPECT_STREQ(DiskCopyOutcomeName(DiskCopyOutcomeFromError(row.error)), DiskCopyOutcomeName(row.outcome))
            << row.error;
    }
}

}  // namespace
}  // namespace TVSP
