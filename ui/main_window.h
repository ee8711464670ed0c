// TVSP_MainWindow: the tool's only main window ("mainWnd"): controls, display state, commands,
// background workers.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "base/win/worker_slot.h"
#include "engine/progress_mapping.h"
#include "device/usb_notifications.h"
#include "engine/watch_detection.h"
#include "engine/watch_window_side.h"
#include "ui/main_window_status.h"
#include "ui/rom_check_outcome.h"
#include "ui/uifeature_window.h"
#include "update/http_client.h"

namespace TVSP {

// Window timers of the main window.
enum MainWindowTimer : UINT_PTR {
    kTimerClientCheck = 1003,   // delayed start of the check for a newer tool
    kTimerGuidedMode = 1006,    // the workflow's guided-mode time-out
    kTimerFlashReturn = 1008,   // the watch's return after flashing
};

inline constexpr UINT kFlashReturnWaitMs = 120000;

// The tool's data file (sproutdata.ini) as watch detection remembers a watch in it.
class SproutWatchDataFile final : public IWatchDataFile {
public:
    void WriteWatch(const std::string& modelKey, const std::string& version) override;
    std::string ReadImei() override;
};

class TVSP_MainWindow : public CUiFeatureWindow, public HttpClientDelegate, public IWatchWindowSide {
public:
    // Reads the last watch from the data file.
    TVSP_MainWindow();
    ~TVSP_MainWindow() override;

    // Creates the skinned window "mainWnd" on the calling thread at its natural size, centred.
    [[nodiscard]] bool Create(DWORD mainThreadId);
    // Terminates the workers that still run (no waiting) and shuts the skin kernel down.
    void Shutdown();

    // Display operations for the workflow and the update client (any thread).
    void RefreshStatus();
    void EnterFlashDisplay();
    void SetProgress(int percent);
    void ReportFailure(const std::wstring& text, bool mayGoBack);
    void WatchDisconnected();
    void FinishFlashDisplay();
    void ShowBatteryHint();
    void SetDisplayState(DisplayState state) { displayState_ = state; }
    DisplayState GetDisplayState() const { return displayState_; }
    // The newest firmware the update server named for the model.
    void SetLatestFirmware(const LatestFirmware& latest);
    LatestFirmware GetLatestFirmware() const;
    bool IsFlashRunning() const { return flashRunning_; }
    void SetFlashRunning(bool running) { flashRunning_ = running; }
    WatchRecord& Watch() { return watch_; }
    // Where detection remembers the watch it takes over.
    IWatchDataFile& DataFile() { return dataFile_; }

    // What is to be written next: the ROM set's "*.cfg" (or the USB-disk package); empty = nothing.
    void SetRomSettingPath(const std::string& path);
    std::string GetRomSettingPath() const;
    // The download engine writes 1 here once it found the download port (flash thread).
    std::atomic<int>* DownloadPortFoundFlag() { return &downloadPortFound_; }
    bool IsDownloadPortFound() const { return downloadPortFound_ != 0; }
    void SetRemovalReported(bool reported) { removalReported_ = reported; }
    bool IsRemovalReported() const { return removalReported_; }
    bool IsCopyBusy() const { return copyBusy_; }
    void SetCopyBusy(bool busy) { copyBusy_ = busy; }
    bool FailureMayGoBack() const { return failureMayGoBack_; }
    // Rejoin flags: set when a download succeeded, acted on when the watch comes back.
    struct RejoinFlags {
        bool serverRestore = false;
        bool watchRestore = false;
        bool restart = false;
        bool selfUpgrade = false;
    };
    RejoinFlags GetRejoinFlags() const;

    // Posts WM_CLOSE to the window and the quit message to the main thread.
    void Close();

    // IWatchWindowSide
    void CloseConnectionGuideIfOpen() override;
    void ShowFirmwareVersion(const std::string& version) override;
    void OnModelChanged() override;
    void ShowBatteryHint(const std::wstring& hint) override;
    void OnSameModelAttached() override;
    void CheckPendingRestore(const std::string& imei) override;

    // HttpClientDelegate: the update server's answers, on the requesting worker thread.
    void OnHttpCancelled() override;
    void OnHttpFailed(int tag, int code) override;
    void OnHttpSucceeded(int tag, const char* body, int length) override;
    void OnHttpProgress(int tag, int received, int total) override;
    // The window's reaction to one notification (ROM check: tag 1).
    void HandleUpdateEvent(const UpdateEvent& event);
    // The ROM check on the update worker, unless the worker is busy.
    void StartRomCheck();

    // IControlMessage: the command dispatcher.
    int UIF_CALL OnControlMessage(IControlBase* sender, int code, WPARAM value1, LPARAM value2) override;

protected:
    // Handles the progress message before the framework's messages.
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;  // 3
    // WM_DEVICECHANGE: classified into watch events; detection starts for a new watch, a removed
    // idle watch is let go.
    void OnDeviceChange(WPARAM wParam, LPARAM lParam);
    void OnClose() override;                // 4
    void OnSysCommand(WPARAM wParam, LPARAM lParam) override;  // 6
    void OnCreated() override;              // 7: bind the controls and start up
    void OnTimer(UINT_PTR timerId) override;  // 8

private:
    void BindControls();
    void SelectUpgradeTab();
    void SelectToolsTab();
    void StartDeviceWorker();
    void ApplyStatusView(const StatusView& view);
    void SetControlText(IControlBase* control, const std::wstring& text);
    IControlBase* Control(const char* name) const;
    bool IsSender(IControlBase* sender, const char* name) const;
    void OpenWebPage(int page);
    void RestartWatch();
    void CheckClientUpdateCommand();
    void AskAndClose();
    int ShowMessage(const wchar_t* text, UINT flags, bool owned);
    static DWORD WINAPI DeviceWorkerMain(void* self);
    static DWORD WINAPI RomCheckMain(void* self);
    // The client check, then, when it names a newer tool, its package (timer 1003, once a start).
    static DWORD WINAPI ClientCheckMain(void* self);
    void HandleClientCheckReply(const std::wstring& reply);
    std::wstring TakeClientPackageUrl();
    void StoreClientPackage(const char* body, int length);
    // One progress record: bar, or the end of the flash step (kinds 1 and 5).
    void HandleProgress(const ProgressRecord& record);
    // Handles the progress records still queued, in order (before a sent result).
    void HandleQueuedProgress();
    // Frees the records still queued when the window goes away.
    void DiscardQueuedProgress();

    DWORD mainThreadId_ = 0;
    WatchRecord watch_;
    SproutWatchDataFile dataFile_;
    std::atomic<DisplayState> displayState_{DisplayState::Disconnected};
    std::atomic<bool> failureMayGoBack_{false};
    std::atomic<bool> flashRunning_{false};
    std::atomic<bool> copyBusy_{false};
    std::atomic<bool> guidedMode_{false};
    std::atomic<bool> awaitSelfUpgrade_{false};
    std::atomic<bool> awaitServerRestore_{false};
    std::atomic<bool> awaitWatchRestore_{false};
    std::atomic<bool> awaitRestart_{false};
    std::atomic<int> downloadPortFound_{0};
    std::atomic<bool> removalReported_{false};
    // Set by Close(): the WM_CLOSE it posts really closes; any other WM_CLOSE asks first.
    std::atomic<bool> closeRequested_{false};
    std::atomic<bool> asking_{false};

    mutable std::mutex romSettingMutex_;
    std::string romSettingPath_;

    mutable std::mutex latestMutex_;
    LatestFirmware latest_;
    std::string latestUrl_;  // the newest package's address, narrow as the reply gave it

    WorkerSlot deviceWorker_;
    WorkerSlot updateWorker_;
    WorkerSlot clientWorker_;
    std::wstring clientPackageUrl_;  // set by the client check's answer, guarded by latestMutex_

    // Controls by name, bound once the skin exists and never changed afterwards; the children
    // of "panel-notready" are kept as "notready/<name>" since "label" also names the failure text.
    std::map<std::string, IControlBase*> controls_;

    // USB device-interface notifications of this window, and the state their classification keeps.
    unique_hdevnotify deviceNotifications_;
    std::atomic<bool> usbDiskPending_{false};
};

}  // namespace TVSP
