// Finding the watch's USB disk among the drives and copying an upgrade package onto it.
#include "device/watch_disk_win.h"

#include <cwchar>
#include <vector>

#include "base/win/handle.h"

namespace TVSP {

namespace {

constexpr wchar_t kPackageName[] = L"update.cab";
constexpr int kBarFull = 100;

std::uint64_t NonNegative(LARGE_INTEGER value) { return value.QuadPart > 0 ? static_cast<std::uint64_t>(value.QuadPart) : 0; }

// Hands on only values that differ from the last one, and remembers whether the bar is full.
class ChangedValuesOnly final : public IDiskCopyProgress {
public:
    explicit ChangedValuesOnly(IDiskCopyProgress* sink) : sink_(sink) {}
    void OnDiskCopyProgress(int barValue) override {
        if (barValue == last_) return;
        last_ = barValue;
        if (sink_ != nullptr) sink_->OnDiskCopyProgress(barValue);
    }
    int last() const { return last_; }

private:
    IDiskCopyProgress* sink_;
    int last_ = -1;
};

}  // namespace

bool IsWatchDisk(const std::wstring& root) {
    ULARGE_INTEGER total{};
    // Only the total is asked for: the free space says nothing about which disk this is.
    if (!::GetDiskFreeSpaceExW(root.c_str(), nullptr, &total, nullptr)) return false;
    return IsWatchDiskSize(total.QuadPart);
}

std::wstring FindLastRemovableDrive() {
    const DWORD needed = ::GetLogicalDriveStringsW(0, nullptr);
    if (needed == 0) return {};
    // A little room beyond what was asked for, should a drive arrive between the two calls.
    std::vector<wchar_t> roots(needed + 4, L'\0');
    const DWORD length = ::GetLogicalDriveStringsW(static_cast<DWORD>(roots.size()), roots.data());
    if (length == 0 || length >= roots.size()) return {};
    std::wstring last;
    for (const wchar_t* root = roots.data(); root < roots.data() + length && *root != L'\0';
         root += std::wcslen(root) + 1) {
        if (::GetDriveTypeW(root) == DRIVE_REMOVABLE) last = root;
    }
    return last;
}

std::wstring WatchDiskRoot(char letter) {
    if (letter == 0) return {};
    return std::wstring{static_cast<wchar_t>(static_cast<unsigned char>(letter)), L':', L'\\'};
}

DWORD CALLBACK WatchDiskCopyProgressRoutine(LARGE_INTEGER totalFileSize, LARGE_INTEGER totalBytesTransferred,
                                            LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE,
                                            LPVOID context) {
    if (context != nullptr) {
        static_cast<IDiskCopyProgress*>(context)->OnDiskCopyProgress(
            DiskCopyBarValue(NonNegative(totalBytesTransferred), NonNegative(totalFileSize)));
    }
    return PROGRESS_CONTINUE;
}

DiskCopyOutcome CopyPackageToWatchDisk(const std::wstring& source, char driveLetter, IDiskCopyProgress* progress) {
    if (driveLetter == 0) return DiskCopyOutcome::SourceOrTargetMissing;
    const std::wstring destination = WatchDiskRoot(driveLetter) + kPackageName;
    {
        // A source that cannot be read fails the copy before the destination is opened; knowing
        // that here keeps a failed copy's clean-up below from deleting a package it never touched.
        unique_hfile readable(::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!readable) {
            const DWORD error = ::GetLastError();
            return error == 0 ? DiskCopyOutcome::Failed : DiskCopyOutcomeFromError(error);
        }
    }
    ChangedValuesOnly bar(progress);
    IDiskCopyProgress* context = &bar;
    const BOOL copied = ::CopyFileExW(source.c_str(), destination.c_str(), WatchDiskCopyProgressRoutine, context,
                                      nullptr, 0);
    if (!copied) {
        const DWORD error = ::GetLastError();
        // A copy that failed part-way may leave a truncated package (Wine does, on a full disk),
        // which the watch would try to install once unplugged. The delete's result is ignored on
        // purpose: when it fails too there is nothing better to do, and the outcome already says
        // the copy failed.
        ::DeleteFileW(destination.c_str());
        // A failure that left no error code must not read as success.
        return error == 0 ? DiskCopyOutcome::Failed : DiskCopyOutcomeFromError(error);
    }
    // The system need not report the last chunk (Wine reports none): the bar ends full anyway.
    if (bar.last() != kBarFull) bar.OnDiskCopyProgress(kBarFull);
    return DiskCopyOutcome::Copied;
}

}  // namespace TVSP
