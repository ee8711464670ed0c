// Finding the watch's USB disk among the drives and copying an upgrade package onto it.
#pragma once

#include <windows.h>

#include <string>

#include "device/watch_disk.h"

namespace TVSP {

// True when the volume at root ("R:\") reports a total size within the watch's window; false
// also when the size cannot be read.
[[nodiscard]] bool IsWatchDisk(const std::wstring& root);

// The root ("R:\") of the last drive, in the system's order, whose type is removable; empty when
// there is none.
[[nodiscard]] std::wstring FindLastRemovableDrive();

// "R:\" for 'R'; empty for 0.
[[nodiscard]] std::wstring WatchDiskRoot(char letter);

// Copies source to <driveLetter>:\update.cab, replacing a package an earlier upgrade left there.
// progress (may be null) gets bar values 10..100, each only when it changes, 100 last after a
// copy that succeeded. Letter 0 gives SourceOrTargetMissing without copying. A copy that fails
// part-way leaves no update.cab behind: the watch would try to install a broken package once it
// is unplugged. A source that cannot be opened leaves the disk untouched.
[[nodiscard]] DiskCopyOutcome CopyPackageToWatchDisk(const std::wstring& source, char driveLetter,
                                                     IDiskCopyProgress* progress);

// The progress routine CopyPackageToWatchDisk hands to CopyFileExW; context is an
// IDiskCopyProgress* or null. Always PROGRESS_CONTINUE. Declared here because Wine 8 never calls
// a copy's progress routine, so tests under Wine call it directly.
DWORD CALLBACK WatchDiskCopyProgressRoutine(LARGE_INTEGER totalFileSize, LARGE_INTEGER totalBytesTransferred,
                                            LARGE_INTEGER streamSize, LARGE_INTEGER streamBytesTransferred,
                                            DWORD streamNumber, DWORD callbackReason, HANDLE sourceFile,
                                            HANDLE destinationFile, LPVOID context);

}  // namespace TVSP
