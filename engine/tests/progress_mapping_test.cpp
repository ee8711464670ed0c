// Progress kinds to bar positions for every stage and model class, and the ends of a flash.
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/progress_mapping.h"

using namespace TVSP;

namespace {

const unsigned kAllClasses[] = {20, 31, 32, 33, 50, 51};

// One stage: bar = base + p1 * num / den, truncated, in exact integer arithmetic.
struct StageRow {
    std::int32_t kind;
    unsigned modelClass;  // 0: the same for every class
    int base;
    int num;
    int den;
};

const StageRow kStages[] = {
    {kProgressConnect, 0, 5, 5, 100},   {kProgressStage124, 0, 10, 5, 100}, {kProgressStage364, 0, 15, 15, 100},
    {kProgressStage60, 0, 50, 3, 10},   {kProgressStage28, 20, 30, 5, 10},  {kProgressStage28, 31, 30, 5, 10},
    {kProgressStage28, 32, 30, 5, 10},  {kProgressStage28, 33, 30, 7, 10},  {kProgressStage28, 50, 30, 7, 10},
    {kProgressStage28, 51, 30, 2, 10},
};

}  // namespace

TEST(ProgressMapping, EveryStageAndClassOverEveryPercent) {
    for (const StageRow& row : kStages) {
        for (unsigned modelClass : kAllClasses) {
            if (row.modelClass != 0 && row.modelClass != modelClass) continue;
            for (std::uint32_t p1 = 0; p1 <= 255; ++p1) {
                int expected = row.base + static_cast<int>(p1) * row.num / row.den;
                if (expected > 100) expected = 100;
                EXPECT_EQ(ProgressBarValue(row.kind, p1, modelClass), expected)
                    << "kind " << row.kind << " class " << modelClass << " p1 " << p1;
            }
        }
    }
}

TEST(ProgressMapping, FullStageLandsWhereTheNextBegins) {
    struct Row {
        std::int32_t kind;
        unsigned modelClass;
        std::uint32_t p1;
        int bar;
    };
    const Row rows[] = {
        // The stage-28 share by class at 100 %: the whole write for the OTA-only classes.
        {kProgressStage28, 33, 100, 100}, {kProgressStage28, 50, 100, 100}, {kProgressStage28, 51, 100, 50},
        {kProgressStage28, 20, 100, 80},  {kProgressStage28, 31, 100, 80},  {kProgressStage28, 32, 100, 80},
        {kProgressConnect, 20, 0, 5},     {kProgressConnect, 20, 19, 5},    {kProgressConnect, 20, 20, 6},
        {kProgressConnect, 20, 100, 10},  {kProgressStage124, 20, 100, 15}, {kProgressStage364, 20, 100, 30},
        {kProgressStage60, 20, 100, 80},  {kProgressStage60, 20, 99, 79},   {kProgressStage28, 20, 1, 30},
        {kProgressStage28, 20, 2, 31},    {kProgressStage28, 51, 4, 30},    {kProgressStage28, 51, 5, 31},
        // Beyond 100 percent the bar stops at its end.
        {kProgressStage60, 20, 167, 100}, {kProgressStage60, 20, 166, 99},  {kProgressStage28, 33, 255, 100},
        {kProgressConnect, 20, 0xFFFFFFFFu, 100},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ProgressBarValue(r.kind, r.p1, r.modelClass), r.bar)
            << "kind " << r.kind << " class " << r.modelClass << " p1 " << r.p1;
    }
}

TEST(ProgressMapping, OnlyProgressKindsMoveTheBar) {
    for (std::int32_t kind : {-1, 1, 5, 7, 100}) {
        EXPECT_EQ(ProgressBarValue(kind, 50, 20), std::nullopt) << kind;
        const ProgressOutcome out = DecideProgress(ProgressRecord{kind, 50, 0, 0, 0}, 20, false);
        EXPECT_FALSE(out.bar) << kind;
    }
    for (std::int32_t kind = -1; kind <= 7; ++kind) EXPECT_EQ(IsSentKind(kind), kind == 1 || kind == 5) << kind;
}

TEST(ProgressMapping, PercentIsTheLowByte) {
    EXPECT_EQ(PercentOf(0), 0);
    EXPECT_EQ(PercentOf(100), 100);
    EXPECT_EQ(PercentOf(255), 255);
    EXPECT_EQ(PercentOf(256), 0);
    EXPECT_EQ(PercentOf(0x1FF), 255);
    EXPECT_EQ(PercentOf(static_cast<std::uintptr_t>(-1)), 255);
}

TEST(ProgressMapping, ProgressRecordsTouchNothingElse) {
    const ProgressOutcome out = DecideProgress(ProgressRecord{kProgressStage28, 100, 7, 8, 0}, 51, false);
    EXPECT_EQ(out.bar, 50);
    EXPECT_FALSE(out.endsFlash);
    EXPECT_FALSE(out.reportFailure);
    EXPECT_FALSE(out.armReturnTimer);
    EXPECT_EQ(out.rejoin, RejoinFlag::None);
}

TEST(ProgressMapping, PreparationFailureAndMissingPortEndTheFlash) {
    for (std::int32_t value : {kPrepareFailedValue, kNoDownloadPortValue}) {
        for (bool removalReported : {false, true}) {
            const ProgressOutcome out = DecideProgress(ProgressRecord{kProgressFailed, 0, 0, 0, value}, 33, removalReported);
            EXPECT_TRUE(out.endsFlash);
            EXPECT_TRUE(out.reportFailure);
            EXPECT_EQ(out.failureText, L"升级失败，请拨打400-1234-567联系客服！");
            EXPECT_TRUE(out.stopGuidedTimer);
            EXPECT_FALSE(out.armReturnTimer);
            EXPECT_FALSE(out.clearDownloadPortFound);
            EXPECT_EQ(out.rejoin, RejoinFlag::None);
            EXPECT_FALSE(out.bar);
        }
    }
}

TEST(ProgressMapping, SuccessSetsTheRejoinFlagOfTheClass) {
    const struct {
        unsigned modelClass;
        RejoinFlag flag;
    } rows[] = {
        {20, RejoinFlag::ServerRestore}, {31, RejoinFlag::WatchRestore}, {32, RejoinFlag::Restart},
        {51, RejoinFlag::Restart},       {33, RejoinFlag::SelfUpgrade},  {50, RejoinFlag::SelfUpgrade},
    };
    for (const auto& row : rows) {
        for (bool removalReported : {false, true}) {
            const ProgressOutcome out = DecideProgress(ProgressRecord{kProgressEnd, 0, 0, 0, 0}, row.modelClass, removalReported);
            EXPECT_EQ(out.rejoin, row.flag) << row.modelClass;
            EXPECT_TRUE(out.armReturnTimer) << row.modelClass;
            EXPECT_TRUE(out.clearDownloadPortFound) << row.modelClass;
            EXPECT_TRUE(out.endsFlash) << row.modelClass;
            EXPECT_FALSE(out.reportFailure) << row.modelClass;
            EXPECT_FALSE(out.stopGuidedTimer) << row.modelClass;
        }
    }
}

TEST(ProgressMapping, AnyNonZeroLibraryResultIsAFailure) {
    // Negative results included: a library function that is missing or refused a setting must
    // not start the wait for a restarted watch.
    for (std::int32_t value : {1, 2, 5000, 0x7FFFFFFF, -1, -2, static_cast<std::int32_t>(0x80000000u)}) {
        const ProgressOutcome out = DecideProgress(ProgressRecord{kProgressEnd, 0, 0, 0, value}, 20, false);
        EXPECT_TRUE(out.reportFailure) << value;
        EXPECT_EQ(out.failureText, L"升级失败，请拨打400-1234-567联系客服！") << value;
        EXPECT_TRUE(out.endsFlash) << value;
        EXPECT_FALSE(out.armReturnTimer) << value;
        EXPECT_FALSE(out.clearDownloadPortFound) << value;
        EXPECT_FALSE(out.stopGuidedTimer) << value;
        EXPECT_EQ(out.rejoin, RejoinFlag::None) << value;
    }
}

TEST(ProgressMapping, FailureAlreadyReportedByRemovalOnlyEndsTheFlash) {
    const ProgressOutcome out = DecideProgress(ProgressRecord{kProgressEnd, 0, 0, 0, 3}, 33, true);
    EXPECT_FALSE(out.reportFailure);
    EXPECT_TRUE(out.failureText.empty());
    EXPECT_TRUE(out.endsFlash);
    EXPECT_FALSE(out.armReturnTimer);
    EXPECT_EQ(out.rejoin, RejoinFlag::None);
}
