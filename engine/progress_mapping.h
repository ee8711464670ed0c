// The progress message's record and what the main window makes of each kind: bar position by
// stage and model class, and the end of a flash (failure text, rejoin flag, return timer).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace TVSP {

// Kinds of the progress message.
enum ProgressKind : std::int32_t {
    kProgressConnect = 0,      // connect stage (slot 8), posted
    kProgressFailed = 1,       // preparation failed or no download port, sent
    kProgressStage364 = 2,     // download record +364 (slot 23), posted
    kProgressStage124 = 3,     // download record +124 (slot 32), posted
    kProgressStage28 = 4,      // download record +28 (slot 12), posted
    kProgressEnd = 5,          // end of download, value = library result, sent
    kProgressStage60 = 6,      // download record +60 (slot 13), posted
};

// Values of a kind-1 record.
inline constexpr std::int32_t kPrepareFailedValue = -1;
inline constexpr std::int32_t kNoDownloadPortValue = -2;

// The heap record WPARAM points to: five 32-bit fields, allocated by the sender, freed by the
// receiver.
struct ProgressRecord {
    std::int32_t kind = 0;
    std::int32_t p1 = 0;     // percent: low byte of the callback's first argument
    std::int32_t p2 = 0;     // second callback argument (kinds 0, 4, 6)
    std::int32_t p3 = 0;     // third callback argument (kinds 0, 4, 6)
    std::int32_t value = 0;  // kind 1: -1 or -2; kind 5: library result
};
static_assert(sizeof(ProgressRecord) == 20);

// Kinds 1 and 5 end the flash step: the sender waits until the window has handled them.
bool IsSentKind(std::int32_t kind);

// The callback's percent argument as the record carries it.
inline std::int32_t PercentOf(std::uintptr_t argument) { return static_cast<std::int32_t>(argument & 0xFF); }

// Share of the bar that download record +28 covers: the OTA-only classes spend their whole write
// there.
double Stage28Weight(unsigned modelClass);

// Bar position (0..100) for the progress kinds 0, 2, 3, 4, 6; none for the others.
std::optional<int> ProgressBarValue(std::int32_t kind, std::uint32_t p1, unsigned modelClass);

// Which wait starts when the download succeeded; the workflow acts on it when the watch returns.
enum class RejoinFlag { None, ServerRestore, WatchRestore, Restart, SelfUpgrade };
RejoinFlag RejoinFlagForClass(unsigned modelClass);

// Everything the window does for one record.
struct ProgressOutcome {
    std::optional<int> bar;              // new bar position
    bool endsFlash = false;              // ROM store deleted, ROM-setting path emptied
    bool reportFailure = false;          // failure line, Failed, may go back, not connected, copy-busy cleared
    std::wstring failureText;
    bool stopGuidedTimer = false;        // timer 1006
    bool clearDownloadPortFound = false;
    RejoinFlag rejoin = RejoinFlag::None;
    bool armReturnTimer = false;         // timer 1008
};

// removalReported: the device-removal handler has already shown this failure.
ProgressOutcome DecideProgress(const ProgressRecord& record, unsigned modelClass, bool removalReported);

}  // namespace TVSP
