// The upgrade workflow's decisions, free of any window or port.
#include "engine/workflow_rules.h"

#include "engine/model_catalog.h"
#include "engine/model_class.h"
#include "engine/user_texts.h"

namespace TVSP {

FlashPlan PlanFlash(std::string_view modelKey, unsigned modelClass, std::string_view firmwareVersion, bool guided) {
    FlashPlan plan;
    if (modelKey == std::string_view(kUsbDiskModelKey)) {
        plan.usbDiskCopy = true;
        return plan;
    }
    const bool legacy = modelClass == kModelClassPowerOffOta && IsLegacyFirmware(firmwareVersion);
    plan.readinessCheck = !guided && !legacy;
    plan.echoedTestStart = modelClass == kModelClassPowerOffOta;
    if (!guided) {
        if (modelClass == kModelClassOnWatchRestore) plan.preparation = Preparation::SaveDataOnWatch;
        if (modelClass == kModelClassFlashWatchdog) plan.preparation = Preparation::StartFlashWatchdog;
    }
    plan.openRestartPrompt = legacy;
    if (!guided && !legacy) {
        plan.entry = IsPoweredOffToRestart(modelClass) ? DownloadModeEntry::PowerOff : DownloadModeEntry::Reboot;
    }
    plan.sayRestartingAfter = modelClass != kModelClassOtaOnly && modelClass != kModelClassPowerOffOta;
    // In guided mode the watch is already in download mode: its IMEI cannot be asked any more.
    plan.marksPendingRestore =
        !guided && (modelClass == kModelClassServerRestore || modelClass == kModelClassOnWatchRestore);
    return plan;
}

SerialArrival DecideSerialArrival(const WorkflowFlags& flags) {
    if (flags.awaitingDownloadPort) return SerialArrival::DownloadPortForGuide;
    if (flags.guidedMode) return SerialArrival::StartGuidedFlash;
    return SerialArrival::Rejoin;
}

SerialRemoval DecideSerialRemoval(const WorkflowFlags& flags) {
    if (flags.downloadPortFound) return SerialRemoval::DownloadBroken;
    if (flags.expectRemoval) return SerialRemoval::Expected;
    if (flags.connected && !flags.flashRunning) return SerialRemoval::WatchGone;
    return SerialRemoval::Nothing;
}

const wchar_t* RemovalDuringDownloadText(unsigned modelClass) {
    return WritesOnlyOtaRegion(modelClass) ? kRemovedDuringOtaDownloadText : kFlashFailedText;
}

}  // namespace TVSP
