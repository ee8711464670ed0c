// Progress message kinds turned into bar positions and flash endings.
#include "engine/progress_mapping.h"

#include "engine/model_class.h"
#include "engine/user_texts.h"

namespace TVSP {
namespace {

constexpr int kBarMax = 100;

int Truncate(double value) {
    // A percent above 100 must not push the bar past its end (nor overflow the conversion).
    if (value >= kBarMax) return kBarMax;
    return static_cast<int>(value);  // toward zero; never negative here
}

}  // namespace

bool IsSentKind(std::int32_t kind) { return kind == kProgressFailed || kind == kProgressEnd; }

double Stage28Weight(unsigned modelClass) {
    switch (modelClass) {
    case kModelClassOtaOnly:
    case kModelClassPowerOffOta:
        return 0.7;
    case kModelClassPowerOffFull:
        return 0.2;
    default:
        return 0.5;
    }
}

std::optional<int> ProgressBarValue(std::int32_t kind, std::uint32_t p1, unsigned modelClass) {
    const double percent = p1;
    switch (kind) {
    case kProgressConnect:
        return Truncate(5 + percent * 0.05);
    case kProgressStage124:
        return Truncate(10 + percent * 0.05);
    case kProgressStage364:
        return Truncate(15 + percent * 0.15);
    case kProgressStage28:
        return Truncate(30 + percent * Stage28Weight(modelClass));
    case kProgressStage60:
        return Truncate(50 + percent * 0.3);
    default:
        return std::nullopt;
    }
}

RejoinFlag RejoinFlagForClass(unsigned modelClass) {
    switch (modelClass) {
    case kModelClassServerRestore:
        return RejoinFlag::ServerRestore;
    case kModelClassOnWatchRestore:
        return RejoinFlag::WatchRestore;
    case kModelClassFlashWatchdog:
    case kModelClassPowerOffFull:
        return RejoinFlag::Restart;
    case kModelClassOtaOnly:
    case kModelClassPowerOffOta:
        return RejoinFlag::SelfUpgrade;
    default:
        return RejoinFlag::None;
    }
}

ProgressOutcome DecideProgress(const ProgressRecord& record, unsigned modelClass, bool removalReported) {
    ProgressOutcome out;
    switch (record.kind) {
    case kProgressFailed:
        out.endsFlash = true;
        out.reportFailure = true;
        out.failureText = kFlashFailedText;
        out.stopGuidedTimer = true;
        break;
    case kProgressEnd:
        out.endsFlash = true;
        // Only 0 is success: a negative result (a missing library function, a setting the
        // library refused) is a failure too and must not start the wait for a restarted watch.
        if (record.value == 0) {
            out.clearDownloadPortFound = true;
            out.rejoin = RejoinFlagForClass(modelClass);
            out.armReturnTimer = true;
        } else if (!removalReported) {
            out.reportFailure = true;
            out.failureText = kFlashFailedText;
        }
        break;
    default:
        out.bar = ProgressBarValue(record.kind, static_cast<std::uint32_t>(record.p1), modelClass);
        break;
    }
    return out;
}

}  // namespace TVSP
