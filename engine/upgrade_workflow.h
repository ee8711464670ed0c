// UpgradeWorkflow: one upgrade's state machine — the flash steps, the device changes and timers
// around it, the watch's return, the restore of its data and the USB-disk copy. It drives the
// main window through IUpgradeDisplay only.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "base/win/worker_slot.h"
#include "device/usb_presence.h"
#include "engine/progress_mapping.h"
#include "engine/watch_data_file.h"
#include "engine/watch_detection.h"
#include "engine/watch_window_side.h"
#include "engine/workflow_rules.h"

namespace TVSP {

// Window timers the workflow arms and handles.
enum WorkflowTimer : UINT_PTR {
    kTimerGuidedMode = 1006,   // guided mode: the download must start within this time
    kTimerGuideClose = 1007,   // the connection guide is destroyed once closed
    kTimerFlashReturn = 1008,  // the flashed watch must come back within this time
};
inline constexpr UINT kGuidedModeWaitMs = 200000;
inline constexpr UINT kGuideCloseDelayMs = 200;
inline constexpr UINT kFlashReturnWaitMs = 120000;

// Posted to the main window: open the connection guide as the restart prompt.
inline constexpr UINT kMsgOpenRestartPrompt = 0x046F;

// What the workflow asks of the main window. Control setters may be called from any thread.
class IUpgradeDisplay : public IWatchWindowSide {
public:
    // The window that receives the progress message and owns the workflow's timers.
    virtual HWND WindowHandle() const = 0;
    // Recomputes the status texts from the display state, the watch and the workflow's flags.
    virtual void RefreshStatus() = 0;
    // Failed, "back" offered, the text in the failure line; refreshed.
    virtual void ShowFailure(const std::wstring& text) = 0;
    // Ready, refreshed.
    virtual void ShowReady() = 0;
    // Disconnected, refreshed.
    virtual void ShowDisconnected() = 0;
    virtual void SetProgress(int percent) = 0;
    // Bar shown at 0, the upgrade and reflash buttons hidden.
    virtual void ResetProgressArea() = 0;
    virtual void SetStatusLine(const std::wstring& text) = 0;
    // The newest firmware version the update server named (empty when unknown).
    virtual std::string NewestVersion() const = 0;
    // A message box owned by the window, with the tool's caption (blocks until answered).
    virtual void ShowMessage(const std::wstring& text) = 0;
    // Window timers; the window hands their expiry back to OnTimer.
    virtual void ArmTimer(UINT_PTR id, UINT milliseconds) = 0;
    virtual void StopTimer(UINT_PTR id) = 0;
    // The connection guide as the prompt to restart the watch by hand (window thread later).
    virtual void OpenRestartPrompt() = 0;
    // Deletes the ROM store with the package and ROM set in it.
    virtual void DeleteRomStore() = 0;
    // Starts watch detection unless it runs.
    virtual void StartDetection() = 0;
    // Starts the server query for the watch's saved data; its answer comes to OnRestoreAnswer.
    // False when no request could be made.
    [[nodiscard]] virtual bool StartImeiQuery(const std::string& imei) = 0;
};

// The network library's answer states for the restore query.
inline constexpr int kTaskAnswered = 2;
inline constexpr int kTaskFailed = 3;

class UpgradeWorkflow {
public:
    UpgradeWorkflow(IUpgradeDisplay& display, WatchRecord& watch, IWatchDataFile& dataFile);
    ~UpgradeWorkflow();
    UpgradeWorkflow(const UpgradeWorkflow&) = delete;
    UpgradeWorkflow& operator=(const UpgradeWorkflow&) = delete;

    // Ends the threads the workflow started (a short grace, then termination).
    void Stop();
    // No thread of the workflow starts from now on (the window is going away).
    void CloseThreads();
    // Waits up to timeoutMs for each of them to end; true when none is left running.
    [[nodiscard]] bool Join(DWORD timeoutMs);

    // Flags (any thread).
    bool IsFlashRunning() const { return flashRunning_; }
    void SetFlashRunning(bool running) { flashRunning_ = running; }
    bool IsCopyBusy() const { return copyBusy_; }
    void SetCopyBusy(bool busy) { copyBusy_ = busy; }
    bool IsGuidedMode() const { return guidedMode_; }
    bool IsAwaitingDownloadPort() const { return awaitingDownloadPort_; }
    bool IsExpectingRemoval() const { return expectRemoval_; }
    bool AwaitsSelfUpgrade() const { return awaitSelfUpgrade_; }
    std::atomic<int>* DownloadPortFoundFlag() { return &downloadPortFound_; }
    bool IsDownloadPortFound() const { return downloadPortFound_ != 0; }
    bool IsRemovalReported() const { return removalReported_; }
    void SetRemovalReported(bool reported) { removalReported_ = reported; }
    bool& UsbDiskPendingRef() { return usbDiskPending_; }
    char UsbDriveLetter() const { return usbDriveLetter_; }
    struct RejoinFlags {
        bool serverRestore = false;
        bool watchRestore = false;
        bool restart = false;
        bool selfUpgrade = false;
    };
    RejoinFlags GetRejoinFlags() const;

    // What is to be written next: the ROM set's "*.cfg" or the USB-disk package; empty = nothing.
    void SetRomSettingPath(const std::string& path);
    std::string GetRomSettingPath() const;

    // The common failure end: Failed, "back", the text, the ROM set discarded.
    void FailUpgrade(const std::wstring& text);
    // The common success end: the watch now runs the newest version.
    void FinishUpgrade(const std::wstring& statusText);

    // The flash of the ROM set (or the disk copy), on the calling worker thread.
    void Flash();
    // Guided mode: the user brings the watch into download mode by hand (the guide's "next").
    void EnterGuidedMode();
    // The guide gave the flash up (or its time ran out): no flash is awaited any more.
    void EndGuidedFlash();
    // The flash thread of guided mode: Flash() only. False when one runs already.
    bool StartGuidedFlash();

    // One classified WM_DEVICECHANGE (window thread).
    void OnDeviceChange(const WatchEventResult& event);
    // Timers 1006 and 1008 (window thread); false for a timer that is not the workflow's.
    bool OnTimer(UINT_PTR id);
    // One progress record of the download engine (window thread).
    void OnProgress(const ProgressRecord& record);

    // A restore owed to this watch from an earlier upgrade (end of detection).
    void CheckPendingRestore(const std::string& markerImei);
    // The server's answer to the restore query (a thread of the network library).
    void OnRestoreAnswer(int state, std::string_view body);

    // Start-up: a watch disk already plugged in is taken over.
    void CheckWatchDiskAtStart();
    // The watch's USB disk was recognised: the USB-disk model at its fixed version.
    void OnUsbDiskWatchDetected(const std::string& modelKey, const std::string& version);

private:
    enum class RestoreMode { AfterFlash = 0, AtConnection = 1 };

    void FlashSteps();
    void CopyToWatchDisk();
    void WriteRestoreMarker(int port);
    void Rejoin();
    void RejoinServerRestore();
    void RejoinWatchRestore();
    void RejoinRestart();
    void RejoinSelfUpgrade();
    void OnRemoval();
    void OnWatchDiskArrival(std::uint32_t unitMask);
    bool StartRestoreQuery(RestoreMode mode);
    static DWORD WINAPI RestoreQueryMain(void* self);
    static DWORD WINAPI GuidedFlashMain(void* self);
    void RunImeiQuery();
    void FailRestoreQuery();
    void EndFlashFlags();
    WorkflowFlags Flags() const;

    IUpgradeDisplay& display_;
    WatchRecord& watch_;
    IWatchDataFile& dataFile_;

    std::atomic<bool> flashRunning_{false};
    std::atomic<bool> copyBusy_{false};
    std::atomic<bool> guidedMode_{false};
    std::atomic<bool> awaitingDownloadPort_{false};
    std::atomic<int> downloadPortFound_{0};
    std::atomic<bool> returnedEarly_{false};  // this flash's watch came back before its download's end
    std::atomic<bool> removalReported_{false};
    std::atomic<bool> expectRemoval_{false};
    std::atomic<bool> awaitServerRestore_{false};
    std::atomic<bool> awaitWatchRestore_{false};
    std::atomic<bool> awaitRestart_{false};
    std::atomic<bool> awaitSelfUpgrade_{false};
    std::atomic<RestoreMode> restoreMode_{RestoreMode::AfterFlash};
    // Read and written by the device-change classification on the window thread only.
    bool usbDiskPending_ = false;
    std::atomic<char> usbDriveLetter_{0};

    mutable std::mutex romSettingMutex_;
    std::string romSettingPath_;

    WorkerSlot flashThread_;
    WorkerSlot restoreThread_;
};

}  // namespace TVSP
