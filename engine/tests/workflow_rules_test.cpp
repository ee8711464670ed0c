// The workflow's decisions as tables: the flash plan per class and mode, and the branches of the
// device changes.
#include <gtest/gtest.h>

#include <string>

#include "engine/user_texts.h"
#include "engine/workflow_rules.h"

using namespace TVSP;

namespace {

struct PlanRow {
    const char* key;
    unsigned modelClass;
    const char* version;
    bool guided;
    // expected
    bool readiness;
    bool echoed;
    Preparation preparation;
    bool restartPrompt;
    DownloadModeEntry entry;
    bool restartingAfter;
    bool marker;
};

const PlanRow kPlans[] = {
    {"watchk7_mt60d_ublox", 20, "1.2.3", false, true, false, Preparation::None, false, DownloadModeEntry::Reboot, true, true},
    {"watchm5_mt60d_ublox", 31, "1.2.3", false, true, false, Preparation::SaveDataOnWatch, false, DownloadModeEntry::Reboot, true, true},
    {"watchk8_mt60d_ublox", 32, "1.2.3", false, true, false, Preparation::StartFlashWatchdog, false, DownloadModeEntry::Reboot, true, false},
    {"watchm5c_mt60d_ublox", 33, "1.2.3", false, true, false, Preparation::None, false, DownloadModeEntry::Reboot, false, false},
    // Class 50 at 9.2.0 and later is prepared over AT (echoed readiness) and powered off ...
    {"watchn3_mt61a_ublox", 50, "9.2.0", false, true, true, Preparation::None, false, DownloadModeEntry::PowerOff, false, false},
    // ... below 9.2.0 the user restarts it by hand: no AT at all.
    {"watchn3_mt61a_ublox", 50, "9.1.9", false, false, true, Preparation::None, true, DownloadModeEntry::None, false, false},
    {"watcht4_mt2503d_mt3333", 51, "1.0", false, true, false, Preparation::None, false, DownloadModeEntry::PowerOff, true, false},
    // Guided: the watch is in download mode already; nothing is said to it.
    {"watchk7_mt60d_ublox", 20, "1.2.3", true, false, false, Preparation::None, false, DownloadModeEntry::None, true, false},
    {"watchm5_mt60d_ublox", 31, "1.2.3", true, false, false, Preparation::None, false, DownloadModeEntry::None, true, false},
    {"watchk8_mt60d_ublox", 32, "1.2.3", true, false, false, Preparation::None, false, DownloadModeEntry::None, true, false},
    {"watchn3_mt61a_ublox", 50, "9.1.9", true, false, true, Preparation::None, true, DownloadModeEntry::None, false, false},
};

}  // namespace

TEST(WorkflowRules, FlashPlanPerClassAndMode) {
    for (const PlanRow& row : kPlans) {
        SCOPED_TRACE(std::string(row.key) + " class " + std::to_string(row.modelClass) + " " + row.version +
                     (row.guided ? " guided" : ""));
        const FlashPlan plan = PlanFlash(row.key, row.modelClass, row.version, row.guided);
        EXPECT_FALSE(plan.usbDiskCopy);
        EXPECT_EQ(plan.readinessCheck, row.readiness);
        if (plan.readinessCheck) {
            EXPECT_EQ(plan.echoedTestStart, row.echoed);
        }
        EXPECT_EQ(plan.preparation, row.preparation);
        EXPECT_EQ(plan.openRestartPrompt, row.restartPrompt);
        EXPECT_EQ(plan.entry, row.entry);
        EXPECT_EQ(plan.sayRestartingAfter, row.restartingAfter);
        EXPECT_EQ(plan.marksPendingRestore, row.marker);
    }
}

TEST(WorkflowRules, TheUsbDiskModelIsCopiedWhateverItsClass) {
    for (unsigned modelClass : {20u, 31u, 50u}) {
        const FlashPlan plan = PlanFlash(kUsbDiskModelKey, modelClass, kUsbDiskFirmwareVersion, false);
        EXPECT_TRUE(plan.usbDiskCopy);
        EXPECT_FALSE(plan.readinessCheck);
        EXPECT_EQ(plan.entry, DownloadModeEntry::None);
        EXPECT_FALSE(plan.marksPendingRestore);
    }
}

TEST(WorkflowRules, SerialArrivalBranches) {
    struct Row {
        bool awaiting, guided;
        SerialArrival expected;
    } rows[] = {
        {true, true, SerialArrival::DownloadPortForGuide},
        {true, false, SerialArrival::DownloadPortForGuide},
        {false, true, SerialArrival::StartGuidedFlash},
        {false, false, SerialArrival::Rejoin},
    };
    for (const Row& row : rows) {
        WorkflowFlags flags;
        flags.awaitingDownloadPort = row.awaiting;
        flags.guidedMode = row.guided;
        flags.flashRunning = true;
        EXPECT_EQ(DecideSerialArrival(flags), row.expected) << row.awaiting << row.guided;
    }
}

TEST(WorkflowRules, SerialRemovalBranches) {
    struct Row {
        bool portFound, expect, connected, running;
        SerialRemoval expected;
    } rows[] = {
        // The download port vanishing while writing wins over everything else.
        {true, true, true, true, SerialRemoval::DownloadBroken},
        {true, false, false, false, SerialRemoval::DownloadBroken},
        {false, true, true, false, SerialRemoval::Expected},
        {false, true, false, true, SerialRemoval::Expected},
        {false, false, true, false, SerialRemoval::WatchGone},
        // A flash running owns the watch's comings and goings (its reboot into download mode).
        {false, false, true, true, SerialRemoval::Nothing},
        {false, false, false, false, SerialRemoval::Nothing},
    };
    for (const Row& row : rows) {
        WorkflowFlags flags;
        flags.downloadPortFound = row.portFound;
        flags.expectRemoval = row.expect;
        flags.connected = row.connected;
        flags.flashRunning = row.running;
        EXPECT_EQ(DecideSerialRemoval(flags), row.expected)
            << row.portFound << row.expect << row.connected << row.running;
    }
}

TEST(WorkflowRules, RemovalTextDependsOnWhetherTheWatchUpgradesItself) {
    for (unsigned modelClass : {33u, 50u}) EXPECT_STREQ(RemovalDuringDownloadText(modelClass), kRemovedDuringOtaDownloadText);
    for (unsigned modelClass : {20u, 31u, 32u, 51u}) EXPECT_STREQ(RemovalDuringDownloadText(modelClass), kFlashFailedText);
}
