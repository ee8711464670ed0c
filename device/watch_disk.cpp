// What counts as the watch's USB disk, and the bar values and outcomes of copying a package onto it.
#include "device/watch_disk.h"

#include <algorithm>

namespace TVSP {

namespace {

// Win32 error codes, by number: this file builds without <windows.h>.
constexpr std::uint32_t kErrorFileNotFound = 2;      // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kErrorHandleDiskFull = 39;   // ERROR_HANDLE_DISK_FULL
constexpr std::uint32_t kErrorDiskFull = 112;        // ERROR_DISK_FULL

constexpr int kBarStart = 10;
constexpr int kBarEnd = 100;

}  // namespace

char DriveLetterFromUnitMask(std::uint32_t mask) {
    constexpr std::uint32_t kLetterBits = (1u << 26) - 1;
    // Several volumes in one notification cannot be told apart: none of them is taken.
    if (mask == 0 || (mask & ~kLetterBits) != 0 || (mask & (mask - 1)) != 0) return 0;
    int bit = 0;
    while ((mask >> bit) != 1) ++bit;
    return static_cast<char>('A' + bit);
}

bool IsWatchDiskSize(std::uint64_t totalBytes) {
    return totalBytes >= kWatchDiskMinBytes && totalBytes <= kWatchDiskMaxBytes;
}

int DiskCopyBarValue(std::uint64_t transferred, std::uint64_t total) {
    if (total == 0) return kBarStart;
    // Left to right in double, as the bar has always been computed; the clamp also keeps a
    // transferred count above the total (and the cast) within range.
    const double share = static_cast<double>(transferred) / static_cast<double>(total) * 100 * 0.9;
    const double bar = std::clamp(kBarStart + share, static_cast<double>(kBarStart), static_cast<double>(kBarEnd));
    return static_cast<int>(bar);
}

DiskCopyOutcome DiskCopyOutcomeFromError(std::uint32_t win32Error) {
    switch (win32Error) {
    case 0: return DiskCopyOutcome::Copied;
    case kErrorDiskFull:
    case kErrorHandleDiskFull: return DiskCopyOutcome::DiskFull;
    case kErrorFileNotFound: return DiskCopyOutcome::SourceOrTargetMissing;
    default: return DiskCopyOutcome::Failed;
    }
}

const char* DiskCopyOutcomeName(DiskCopyOutcome outcome) {
    switch (outcome) {
    case DiskCopyOutcome::Copied: return "Copied";
    case DiskCopyOutcome::DiskFull: return "DiskFull";
    case DiskCopyOutcome::SourceOrTargetMissing: return "SourceOrTargetMissing";
    case DiskCopyOutcome::Failed: break;
    }
    return "Failed";
}

}  // namespace TVSP
