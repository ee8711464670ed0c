// TVSP_MainWindow: the tool's only main window ("mainWnd"): controls, display state, commands,
// background workers.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "base/win/worker_slot.h"
#include "engine/progress_mapping.h"
#include "device/usb_notifications.h"
#include "engine/watch_detection.h"
#include "engine/upgrade_workflow.h"
#include "engine/watch_window_side.h"
#include "netlib/netlib_api.h"
#include "ui/connect_guide.h"
#include "ui/main_window_status.h"
#include "ui/rom_check_outcome.h"
#include "ui/uifeature_window.h"
#include "update/http_client.h"

namespace TVSP {

// Window timers of the main window (the workflow's are in engine/upgrade_workflow.h).
enum MainWindowTimer : UINT_PTR {
    kTimerClientCheck = 1003,  // delayed start of the check for a newer tool
};

// Private messages: work that belongs to the window thread, asked for from other threads.
inline constexpr UINT kMsgCloseGuide = WM_APP + 0x300;  // leave the connection guide
inline constexpr UINT kMsgArmTimer = WM_APP + 0x301;    // wParam timer id, lParam milliseconds
inline constexpr UINT kMsgStopTimer = WM_APP + 0x302;   // wParam timer id

// The tool's data file (sproutdata.ini) as watch detection remembers a watch in it.
class SproutWatchDataFile final : public IWatchDataFile {
public:
    void WriteWatch(const std::string& modelKey, const std::string& version) override;
    std::string ReadImei() override;
    void WriteVersion(const std::string& version) override;
    void WriteImei(const std::string& imei) override;
    void DeleteImei() override;
};

class TVSP_MainWindow : public CUiFeatureWindow,
                        public HttpClientDelegate,
                        public IUpgradeDisplay,
                        public IGuideOwner,
                        public IHttpTaskCallback {
public:
    // Reads the last watch from the data file.
    TVSP_MainWindow();
    ~TVSP_MainWindow() override;

    // Creates the skinned window "mainWnd" on the calling thread at its natural size, centred.
    [[nodiscard]] bool Create(DWORD mainThreadId);
    // At the process's exit: waits a short while for the workers, then shuts the skin kernel down.
    // False, with nothing torn down, when a worker still runs: the caller then ends the process
    // at once rather than pull memory from under it.
    [[nodiscard]] bool Shutdown();

    // Display operations (any thread).
    void RefreshStatus() override;
    void EnterFlashDisplay();
    void SetProgress(int percent) override;
    void ReportFailure(const std::wstring& text, bool mayGoBack);
    void WatchDisconnected();
    void FinishFlashDisplay() override;
    void ShowBatteryHint();
    void SetDisplayState(DisplayState state) { displayState_ = state; }
    DisplayState GetDisplayState() const { return displayState_; }
    // The newest firmware the update server named for the model.
    void SetLatestFirmware(const LatestFirmware& latest);
    LatestFirmware GetLatestFirmware() const;
    WatchRecord& Watch() { return watch_; }
    // Where detection remembers the watch it takes over.
    IWatchDataFile& DataFile() { return dataFile_; }
    UpgradeWorkflow& Workflow() { return workflow_; }

    // The workflow's state as tests and the status refresh read it.
    bool IsFlashRunning() const { return workflow_.IsFlashRunning(); }
    void SetFlashRunning(bool running) { workflow_.SetFlashRunning(running); }
    void SetRomSettingPath(const std::string& path) { workflow_.SetRomSettingPath(path); }
    std::string GetRomSettingPath() const { return workflow_.GetRomSettingPath(); }
    std::atomic<int>* DownloadPortFoundFlag() { return workflow_.DownloadPortFoundFlag(); }
    bool IsDownloadPortFound() const { return workflow_.IsDownloadPortFound(); }
    void SetRemovalReported(bool reported) { workflow_.SetRemovalReported(reported); }
    bool IsRemovalReported() const { return workflow_.IsRemovalReported(); }
    bool IsCopyBusy() const { return workflow_.IsCopyBusy(); }
    void SetCopyBusy(bool busy) { workflow_.SetCopyBusy(busy); }
    bool FailureMayGoBack() const { return failureMayGoBack_; }
    UpgradeWorkflow::RejoinFlags GetRejoinFlags() const { return workflow_.GetRejoinFlags(); }
    // The open connection guide (window thread); null when none.
    CConnectGuideWnd* Guide() const { return guide_.get(); }

    // The one-key upgrade ("updateButton", "reflashhint").
    void StartUpgrade();

    // Posts WM_CLOSE to the window and the quit message to the main thread.
    void Close();

    // IWatchWindowSide
    void CloseConnectionGuideIfOpen() override;
    void ShowFirmwareVersion(const std::string& version) override;
    void OnModelChanged() override;
    void ShowBatteryHint(const std::wstring& hint) override;
    void OnSameModelAttached() override;
    void CheckPendingRestore(const std::string& imei) override;

    // IUpgradeDisplay
    HWND WindowHandle() const override { return hwnd_; }
    void ShowFailure(const std::wstring& text) override { ReportFailure(text, true); }
    void ShowReady() override;
    void ShowDisconnected() override { WatchDisconnected(); }
    void ResetProgressArea() override { EnterFlashDisplay(); }
    void SetStatusLine(const std::wstring& text) override;
    std::string NewestVersion() const override { return GetLatestFirmware().version; }
    void ShowMessage(const std::wstring& text) override;
    void ArmTimer(UINT_PTR id, UINT milliseconds) override;
    void StopTimer(UINT_PTR id) override;
    void OpenRestartPrompt() override;
    void DeleteRomStore() override;
    void StartDetection() override { StartDeviceWorker(); }
    [[nodiscard]] bool StartImeiQuery(const std::string& imei) override;

    // IGuideOwner
    void LeaveGuide() override;
    void ChooseGuideModel(const std::string& modelKey) override;
    void StartGuidedWait() override;
    void OpenGuidePage(Config::WebPage page) override { OpenWebPage(static_cast<int>(page)); }

    // IHttpTaskCallback: the restore query's answer, on a thread of the network library.
    void NETLIB_METHOD OnTaskComplete(NetTask* task, const NetTaskResult* result) override;

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
    // The upgrade worker: the package download, then the flash.
    static DWORD WINAPI UpgradeMain(void* self);
    void DownloadRomPackage();
    void HandleRomPackageEvent(const UpdateEvent& event);
    void FailRomDownload();
    void OpenGuide(CConnectGuideWnd::Mode mode);
    void DestroyGuide();
    // The client check, then, when it names a newer tool, its package (timer 1003, once a start).
    static DWORD WINAPI ClientCheckMain(void* self);
    void HandleClientCheckReply(const std::wstring& reply);
    std::wstring TakeClientPackageUrl();
    void StoreClientPackage(const char* body, int length);
    // Handles the progress records still queued, in order (before a sent result).
    void HandleQueuedProgress();
    // Frees the records still queued when the window goes away.
    void DiscardQueuedProgress();

    DWORD mainThreadId_ = 0;
    WatchRecord watch_;
    SproutWatchDataFile dataFile_;
    std::atomic<DisplayState> displayState_{DisplayState::Disconnected};
    std::atomic<bool> failureMayGoBack_{false};
    // Set by Close(): the WM_CLOSE it posts really closes; any other WM_CLOSE asks first.
    std::atomic<bool> closeRequested_{false};
    std::atomic<bool> asking_{false};
    // Set by Shutdown(): messages are no longer handled, workers no longer started.
    std::atomic<bool> shuttingDown_{false};
    // Restore queries started and not yet answered (the network library calls back on its thread).
    std::atomic<int> tasksInFlight_{0};

    mutable std::mutex latestMutex_;
    LatestFirmware latest_;
    std::string latestUrl_;  // the newest package's address, narrow as the reply gave it
    std::string romSetModel_;  // model key and version of the package being downloaded
    std::string romSetVersion_;

    WorkerSlot deviceWorker_;
    WorkerSlot updateWorker_;
    WorkerSlot clientWorker_;
    std::wstring clientPackageUrl_;  // set by the client check's answer, guarded by latestMutex_

    // Controls by name, bound once the skin exists and never changed afterwards; the children
    // of "panel-notready" are kept as "notready/<name>" since "label" also names the failure text.
    std::map<std::string, IControlBase*> controls_;

    // USB device-interface notifications of this window.
    unique_hdevnotify deviceNotifications_;

    // The connection guide, made and destroyed on the window thread.
    std::unique_ptr<CConnectGuideWnd> guide_;

    // Last, so it goes first: its threads end before the window's state they use.
    UpgradeWorkflow workflow_{*this, watch_, dataFile_};
};

}  // namespace TVSP
