// What counts as the watch's USB disk, and the bar values and outcomes of copying a package onto it.
#pragma once

#include <cstdint>

namespace TVSP {

// The watch's disk is above 10 MiB and below 15 MiB; anything else (a user's stick, a card
// reader) is never written to.
inline constexpr std::uint64_t kWatchDiskMinBytes = 10485761;  // 10 MiB + 1
inline constexpr std::uint64_t kWatchDiskMaxBytes = 15728639;  // 15 MiB - 1

// The drive letter of a volume notification's unit mask: exactly one bit among bits 0..25 gives
// 'A'..'Z' (bit 0 is A); no bit, several bits or a bit above 25 give 0.
[[nodiscard]] char DriveLetterFromUnitMask(std::uint32_t mask);

// The full 64-bit total is compared: a 4 GiB + 12 MiB stick must not pass as the watch.
[[nodiscard]] bool IsWatchDiskSize(std::uint64_t totalBytes);

// The progress bar during the copy: 10 + truncation(transferred / total * 100 * 0.9) in floating
// point, 10 for a zero total, kept within 10..100.
[[nodiscard]] int DiskCopyBarValue(std::uint64_t transferred, std::uint64_t total);

enum class DiskCopyOutcome { Copied, DiskFull, SourceOrTargetMissing, Failed };

// The outcome a Win32 error code (GetLastError after the copy; 0 for success) stands for.
[[nodiscard]] DiskCopyOutcome DiskCopyOutcomeFromError(std::uint32_t win32Error);

const char* DiskCopyOutcomeName(DiskCopyOutcome outcome);

// Receives the bar value while a package is copied onto the watch's disk (on the copying thread).
class IDiskCopyProgress {
public:
    virtual void OnDiskCopyProgress(int barValue) = 0;

protected:
    ~IDiskCopyProgress() = default;
};

}  // namespace TVSP
