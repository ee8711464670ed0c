// The watch's disk under Wine: recognition and the package copy on a tmpfs the virtual watch maps as a removable drive.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/win/file_io.h"
#include "device/watch_disk_win.h"
#include "testing/vwatch/client/vwatch_client.h"
#include "testing/wine/test_files.h"

namespace {

using TVSP::CopyPackageToWatchDisk;
using TVSP::DiskCopyOutcome;
using TVSP::DiskCopyOutcomeName;
using tvsp::Exists;
using tvsp::ReadAll;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr char kLetter = 'R';
const std::wstring kRoot = L"R:\\";
const std::wstring kPackageOnDisk = L"R:\\update.cab";

class Recorder final : public TVSP::IDiskCopyProgress {
public:
    void OnDiskCopyProgress(int barValue) override { values.push_back(barValue); }
    std::vector<int> values;
};

std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed + i / 4096) & 0xFF);
    return bytes;
}

class WatchDisk : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(watch_.Connect()) << "no virtual watch (TVSP_VWATCH)";
        ASSERT_TRUE(watch_.UnplugDisk());
    }
    void TearDown() override { EXPECT_TRUE(watch_.UnplugDisk()); }

    // A package of the given bytes in the test's own folder.
    std::wstring Package(const std::wstring& name, const std::string& bytes) {
        const std::wstring path = folder_ / name;
        EXPECT_TRUE(TVSP::WriteWholeFile(path, bytes.data(), bytes.size()));
        return path;
    }

    tvsp::VirtualWatchClient watch_;
    tvsp::TempFolder folder_{L"watch-disk"};
};

// Real drives of sizes either side of the window; every one is removable, only some are the watch.
TEST_F(WatchDisk, RecognisedByTotalSizeAndFoundAsTheLastRemovableDrive) {
    ASSERT_EQ(TVSP::FindLastRemovableDrive(), L"") << "the private prefix should have no removable drive yet";
    struct Row {
        std::uint64_t size;
        bool watch;
    };
    for (const Row row : {Row{10 * kMiB, false}, Row{10 * kMiB + 4096, true}, Row{12 * kMiB, true},
                          Row{15 * kMiB - 4096, true}, Row{15 * kMiB, false}, Row{16 * kMiB, false}}) {
        SCOPED_TRACE(row.size);
        ASSERT_TRUE(watch_.PlugDisk(kLetter, row.size));
        EXPECT_EQ(TVSP::IsWatchDisk(kRoot), row.watch);
        EXPECT_EQ(TVSP::FindLastRemovableDrive(), kRoot);
    }
    ASSERT_TRUE(watch_.UnplugDisk());
    EXPECT_FALSE(TVSP::IsWatchDisk(kRoot)) << "no volume: no size";
    EXPECT_EQ(TVSP::FindLastRemovableDrive(), L"");
}

TEST_F(WatchDisk, CopyFillsTheBarAndASecondCopyReplacesTheFirst) {
    ASSERT_TRUE(watch_.PlugDisk(kLetter, 12 * kMiB));
    const std::string first = Pattern(1 * kMiB, 1);
    Recorder bar;
    const DiskCopyOutcome outcome = CopyPackageToWatchDisk(Package(L"first.cab", first), kLetter, &bar);
    EXPECT_STREQ(DiskCopyOutcomeName(outcome), "Copied");
    ASSERT_FALSE(bar.values.empty());
    for (std::size_t i = 0; i < bar.values.size(); ++i) {
        EXPECT_GE(bar.values[i], 10);
        EXPECT_LE(bar.values[i], 100);
        if (i > 0) {
            EXPECT_GT(bar.values[i], bar.values[i - 1]) << "at " << i;
        }
    }
    EXPECT_EQ(bar.values.back(), 100);
    EXPECT_TRUE(ReadAll(kPackageOnDisk) == first);

    // Shorter, so an overwrite that kept the old length would show.
    const std::string second = Pattern(300000, 2);
    EXPECT_STREQ(DiskCopyOutcomeName(CopyPackageToWatchDisk(Package(L"second.cab", second), kLetter, nullptr)),
                 "Copied");
    EXPECT_TRUE(ReadAll(kPackageOnDisk) == second) << ReadAll(kPackageOnDisk).size();
}

TEST_F(WatchDisk, FullDiskLeavesNoPackageBehind) {
    ASSERT_TRUE(watch_.PlugDisk(kLetter, 12 * kMiB));
    ASSERT_STREQ(DiskCopyOutcomeName(CopyPackageToWatchDisk(Package(L"old.cab", Pattern(kMiB, 3)), kLetter, nullptr)),
                 "Copied");
    ASSERT_TRUE(watch_.FillDisk(10 * kMiB));
    // About 2 MiB are free once the old package is overwritten: the new one stops part-way.
    Recorder bar;
    const DiskCopyOutcome outcome = CopyPackageToWatchDisk(Package(L"big.cab", Pattern(3 * kMiB, 4)), kLetter, &bar);
    EXPECT_STREQ(DiskCopyOutcomeName(outcome), "DiskFull");
    EXPECT_FALSE(Exists(kPackageOnDisk)) << "a truncated package would be installed by the watch";
    for (int value : bar.values) EXPECT_LT(value, 100);
}

TEST_F(WatchDisk, MissingSourceOrDriveCopiesNothing) {
    ASSERT_TRUE(watch_.PlugDisk(kLetter, 12 * kMiB));
    const std::string good = Pattern(200000, 5);
    ASSERT_STREQ(DiskCopyOutcomeName(CopyPackageToWatchDisk(Package(L"good.cab", good), kLetter, nullptr)), "Copied");
    const std::wstring source = Package(L"next.cab", Pattern(1000, 6));

    Recorder bar;
    EXPECT_STREQ(DiskCopyOutcomeName(CopyPackageToWatchDisk(folder_ / L"absent.cab", kLetter, &bar)),
                 "SourceOrTargetMissing");
    EXPECT_TRUE(ReadAll(kPackageOnDisk) == good) << "the copy never started: the earlier package stays";
    EXPECT_STREQ(DiskCopyOutcomeName(CopyPackageToWatchDisk(source, 0, &bar)), "SourceOrTargetMissing");
    EXPECT_TRUE(bar.values.empty());

    ASSERT_TRUE(watch_.UnplugDisk());
    EXPECT_STRNE(DiskCopyOutcomeName(CopyPackageToWatchDisk(source, kLetter, &bar)), "Copied");
    EXPECT_TRUE(bar.values.empty());
}

// Wine never calls a copy's progress routine, so what Windows would feed it is fed here.
TEST(WatchDiskProgressRoutine, ReportsTheBarFromTransferredOverTotalAndAlwaysContinues) {
    auto large = [](std::uint64_t v) {
        LARGE_INTEGER li;
        li.QuadPart = static_cast<LONGLONG>(v);
        return li;
    };
    struct Row {
        std::uint64_t total, transferred;
        int bar;
    };
    Recorder bar;
    std::vector<int> expected;
    for (const Row row : {Row{1000, 0, 10}, Row{1000, 250, 32}, Row{1000, 1000, 100}, Row{0, 0, 10},
                          Row{4 * 1024 * kMiB + 12 * kMiB, 2 * 1024 * kMiB, 54}}) {
        EXPECT_EQ(TVSP::WatchDiskCopyProgressRoutine(large(row.total), large(row.transferred), large(row.total),
                                                     large(row.transferred), 1, CALLBACK_CHUNK_FINISHED, nullptr,
                                                     nullptr, static_cast<TVSP::IDiskCopyProgress*>(&bar)),
                  static_cast<DWORD>(PROGRESS_CONTINUE));
        expected.push_back(row.bar);
    }
    EXPECT_EQ(bar.values, expected);
    EXPECT_EQ(TVSP::WatchDiskCopyProgressRoutine(large(10), large(5), large(10), large(5), 1, CALLBACK_STREAM_SWITCH,
                                                 nullptr, nullptr, nullptr),
              static_cast<DWORD>(PROGRESS_CONTINUE));
}

}  // namespace
