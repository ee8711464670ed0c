// UpgradeWorkflow: the flash steps, device changes, timers, the watch's return, restores and the
// USB-disk copy.
#include "engine/upgrade_workflow.h"

#include <memory>

#include "base/win/program_folder.h"
#include "base/win/strings.h"
#include "device/watch_disk.h"
#include "device/watch_disk_win.h"
#include "engine/at_channel.h"
#include "engine/model_catalog.h"
#include "engine/model_class.h"
#include "engine/mtk_downloader.h"
#include "engine/observer_manager.h"
#include "engine/restore_data.h"
#include "engine/restore_rules.h"
#include "engine/user_texts.h"
#include "engine/watch_ports.h"
#include "engine/window_observer.h"

namespace TVSP {
namespace {

constexpr int kReadinessTries = 5;
constexpr int kPreparationTries = 5;
constexpr DWORD kRetryPauseMs = 1000;
constexpr DWORD kSaveDataSettleMs = 3000;
constexpr int kWatchRestoreTries = 10;
constexpr DWORD kWatchRestoreSettleMs = 3000;
constexpr int kConnectRestoreTries = 5;
constexpr DWORD kConnectRestorePauseMs = 200;
constexpr int kRestorePings = 120;
constexpr DWORD kRestorePingPauseMs = 1000;
constexpr DWORD kThreadGraceMs = 2000;

// Up to `tries` calls of step, pausing after each failure; true at the first success.
template <typename Step>
bool Retry(int tries, DWORD pauseMs, Step step) {
    for (int i = 0; i < tries; ++i) {
        if (step()) return true;
        ::Sleep(pauseMs);
    }
    return false;
}

// Restarts the watch the way its class restarts.
void RestartWatchOfClass(unsigned modelClass, int port) {
    if (IsPoweredOffToRestart(modelClass)) {
        PowerOffWatch(port);
    } else {
        RebootWatch(port);
    }
}

// The copy's bar goes straight to the window's control.
class DiskCopyBar final : public IDiskCopyProgress {
public:
    explicit DiskCopyBar(IUpgradeDisplay& display) : display_(display) {}
    void OnDiskCopyProgress(int barValue) override { display_.SetProgress(barValue); }

private:
    IUpgradeDisplay& display_;
};

}  // namespace

UpgradeWorkflow::UpgradeWorkflow(IUpgradeDisplay& display, WatchRecord& watch, IWatchDataFile& dataFile)
    : display_(display), watch_(watch), dataFile_(dataFile) {}

UpgradeWorkflow::~UpgradeWorkflow() { Stop(); }

void UpgradeWorkflow::Stop() {
    flashThread_.Stop(kThreadGraceMs);
    restoreThread_.Stop(kThreadGraceMs);
}

void UpgradeWorkflow::CloseThreads() {
    flashThread_.Close();
    restoreThread_.Close();
}

bool UpgradeWorkflow::Join(DWORD timeoutMs) {
    const bool flashEnded = flashThread_.Join(timeoutMs);
    return restoreThread_.Join(timeoutMs) && flashEnded;
}

UpgradeWorkflow::RejoinFlags UpgradeWorkflow::GetRejoinFlags() const {
    return RejoinFlags{awaitServerRestore_, awaitWatchRestore_, awaitRestart_, awaitSelfUpgrade_};
}

void UpgradeWorkflow::SetRomSettingPath(const std::string& path) {
    std::lock_guard lock(romSettingMutex_);
    romSettingPath_ = path;
}

std::string UpgradeWorkflow::GetRomSettingPath() const {
    std::lock_guard lock(romSettingMutex_);
    return romSettingPath_;
}

WorkflowFlags UpgradeWorkflow::Flags() const {
    WorkflowFlags flags;
    flags.flashRunning = flashRunning_;
    flags.connected = watch_.IsConnected();
    flags.guidedMode = guidedMode_;
    flags.awaitingDownloadPort = awaitingDownloadPort_;
    flags.downloadPortFound = downloadPortFound_ == kDownloadPortInUse;
    flags.expectRemoval = expectRemoval_;
    return flags;
}

void UpgradeWorkflow::EndFlashFlags() {
    flashRunning_ = false;
    copyBusy_ = false;
}

void UpgradeWorkflow::FailUpgrade(const std::wstring& text) {
    display_.DeleteRomStore();
    SetRomSettingPath(std::string());
    display_.ShowFailure(text);
}

void UpgradeWorkflow::FinishUpgrade(const std::wstring& statusText) {
    display_.SetStatusLine(statusText);
    const std::string newest = display_.NewestVersion();
    display_.ShowFirmwareVersion(newest);
    watch_.SetVersion(newest);
    dataFile_.WriteVersion(newest);
    display_.ShowReady();
    EndFlashFlags();
}

// ---- the flash ----------------------------------------------------------------------------

void UpgradeWorkflow::Flash() {
    if (GetRomSettingPath().empty()) return;
    flashRunning_ = true;
    returnedEarly_ = false;
    FlashSteps();
}

void UpgradeWorkflow::FlashSteps() {
    const WatchRecord::Snapshot watch = watch_.Get();
    const FlashPlan plan = PlanFlash(watch.modelKey, watch.modelClass, watch.version, guidedMode_);
    if (plan.usbDiskCopy) {
        CopyToWatchDisk();
        return;
    }
    const int port = watch.port;

    if (plan.readinessCheck) {
        const bool ready = Retry(kReadinessTries, kRetryPauseMs, [&] {
            return plan.echoedTestStart ? TestStartEchoed(port) : TestStart(port);
        });
        if (!ready) {
            FailUpgrade(kNotReadyText);
            return;
        }
    }
    // The data is about to be erased: a restore is owed to this watch from now on, whatever
    // happens to the tool or the cable until it is done.
    if (plan.marksPendingRestore) WriteRestoreMarker(port);

    if (plan.preparation == Preparation::SaveDataOnWatch) {
        if (!Retry(kPreparationTries, kRetryPauseMs, [] { return SaveDataOnWatch(FindWatchPort()); })) {
            FailUpgrade(kSaveDataFailedText);
            return;
        }
        ::Sleep(kSaveDataSettleMs);  // the watch finishes saving before it is rebooted
    } else if (plan.preparation == Preparation::StartFlashWatchdog) {
        if (!Retry(kPreparationTries, kRetryPauseMs, [] { return StartFlashWatchdog(FindWatchPort()); })) {
            FailUpgrade(kWatchdogFailedText);
            return;
        }
    }

    auto observer = std::make_shared<TVSP_MTK2WMObserver>(display_.WindowHandle());
    TVSP_MTKDownloaderObserverMgr::Instance().SetObserver(observer);
    {
        TVSP_MTKDownloader downloader;
        downloader.SetDownloadAgentPath(WideToAnsi(GetOwnDirectory() + L"\\MTK_AllInOne_DA.bin"));
        downloader.SetRomSettingPath(GetRomSettingPath());
        downloader.SetDownloadPortFoundFlag(&downloadPortFound_);
        downloader.SetModelClass(watch.modelClass);
        if (plan.openRestartPrompt) {
            downloader.SetOwnerWindow(&display_);
            display_.OpenRestartPrompt();
        }
        if (plan.entry == DownloadModeEntry::PowerOff) PowerOffWatch(port);
        if (plan.entry == DownloadModeEntry::Reboot) RebootWatch(port);
        guidedMode_ = false;
        display_.SetStatusLine(kWritingRomText);
        downloader.Download(static_cast<unsigned short>(port));
        // A watch already back was rejoined by the end: its restart is over, and its result stays.
        if (plan.sayRestartingAfter && !returnedEarly_) display_.SetStatusLine(kRestartingText);
    }
    TVSP_MTKDownloaderObserverMgr::Instance().RemoveObserver(observer.get());
}

void UpgradeWorkflow::WriteRestoreMarker(int port) {
    const std::string imei = ReadImei(port);
    // Without an IMEI no restore could be matched to this watch later; the upgrade goes on.
    if (!imei.empty()) dataFile_.WriteImei(imei);
}

void UpgradeWorkflow::CopyToWatchDisk() {
    const std::wstring source = AnsiToWide(GetRomSettingPath());
    display_.SetStatusLine(kCopyingText);
    DiskCopyBar bar(display_);
    const DiskCopyOutcome outcome = CopyPackageToWatchDisk(source, usbDriveLetter_, &bar);
    if (outcome == DiskCopyOutcome::Copied) {
        display_.SetProgress(100);
        FinishUpgrade(kUpgradedText);
        return;
    }
    // The disk going away is announced next: that removal is this failure, not another one.
    if (outcome == DiskCopyOutcome::SourceOrTargetMissing) expectRemoval_ = true;
    FailUpgrade(outcome == DiskCopyOutcome::DiskFull ? kCopyDiskFullText : kCopyFailedText);
    EndFlashFlags();
}

void UpgradeWorkflow::EnterGuidedMode() { guidedMode_ = true; }

void UpgradeWorkflow::EndGuidedFlash() {
    guidedMode_ = false;
    awaitingDownloadPort_ = false;
    EndFlashFlags();
}

bool UpgradeWorkflow::StartGuidedFlash() { return flashThread_.Start(GuidedFlashMain, this); }

DWORD WINAPI UpgradeWorkflow::GuidedFlashMain(void* self) {
    auto* workflow = static_cast<UpgradeWorkflow*>(self);
    workflow->Flash();
    workflow->flashThread_.Finished();
    return 0;
}

// ---- device changes, timers, progress ------------------------------------------------------

void UpgradeWorkflow::OnDeviceChange(const WatchEventResult& event) {
    switch (event.event) {
    case WatchEvent::SerialPortArrival:
        switch (DecideSerialArrival(Flags())) {
        case SerialArrival::DownloadPortForGuide:
            display_.CloseConnectionGuideIfOpen();
            display_.ShowReady();
            display_.ResetProgressArea();
            display_.SetStatusLine(kWritingRomText);
            awaitingDownloadPort_ = false;
            display_.StopTimer(kTimerGuidedMode);
            break;
        case SerialArrival::StartGuidedFlash:
            watch_.SetPort(FindWatchPort());
            // A flash thread already running keeps its port; the wait for the port ends either way.
            static_cast<void>(StartGuidedFlash());
            awaitingDownloadPort_ = true;
            break;
        case SerialArrival::Rejoin:
            Rejoin();
            break;
        }
        break;
    case WatchEvent::SerialPortRemoval:
    case WatchEvent::WatchDiskRemoval:
        OnRemoval();
        break;
    case WatchEvent::WatchDiskArrival:
        OnWatchDiskArrival(event.unitMask);
        break;
    case WatchEvent::DiskFunctionSeen:
    case WatchEvent::None:
        break;
    }
}

void UpgradeWorkflow::OnRemoval() {
    switch (DecideSerialRemoval(Flags())) {
    case SerialRemoval::DownloadBroken:
        downloadPortFound_ = 0;
        removalReported_ = true;
        FailUpgrade(RemovalDuringDownloadText(watch_.Get().modelClass));
        watch_.MarkNotConnected();
        break;
    case SerialRemoval::Expected:
        expectRemoval_ = false;
        watch_.MarkNotConnected();
        break;
    case SerialRemoval::WatchGone:
        watch_.Disconnect();
        display_.ShowDisconnected();
        break;
    case SerialRemoval::Nothing:
        break;
    }
}

void UpgradeWorkflow::Rejoin() {
    // Written and restarted, but the download's end is not handled yet (the flash thread reports
    // it after closing the port, and announcements can overtake it): the end rejoins the watch.
    if (downloadPortFound_ == kDownloadPortWritten) {
        returnedEarly_ = true;
        return;
    }
    if (awaitServerRestore_) RejoinServerRestore();
    if (awaitWatchRestore_) RejoinWatchRestore();
    if (awaitRestart_) RejoinRestart();
    if (awaitSelfUpgrade_) RejoinSelfUpgrade();
    if (!flashRunning_ && !watch_.IsConnected()) display_.StartDetection();
}

void UpgradeWorkflow::RejoinServerRestore() {
    if (!Ping(FindWatchPort())) {
        display_.SetProgress(85);
        return;
    }
    display_.StopTimer(kTimerFlashReturn);
    const std::string imei = ReadImei(FindWatchPort());
    display_.SetProgress(90);
    display_.SetStatusLine(kBackingUpText);
    if (!imei.empty()) dataFile_.WriteImei(imei);
    awaitServerRestore_ = false;
    static_cast<void>(StartRestoreQuery(RestoreMode::AfterFlash));
}

void UpgradeWorkflow::RejoinWatchRestore() {
    if (!Ping(FindWatchPort())) {
        display_.SetProgress(90);
        display_.SetStatusLine(kRestoringText);
        return;
    }
    display_.StopTimer(kTimerFlashReturn);
    awaitWatchRestore_ = false;
    display_.SetProgress(100);
    WriteRestoreMarker(FindWatchPort());
    if (!Retry(kWatchRestoreTries, kRetryPauseMs, [] { return RestoreDataOnWatch(FindWatchPort()); })) {
        FailUpgrade(kOnWatchRestoreFailedText);
        return;
    }
    dataFile_.DeleteImei();
    ::Sleep(kWatchRestoreSettleMs);
    display_.SetProgress(100);
    FinishUpgrade(kUpgradedText);
}

void UpgradeWorkflow::RejoinRestart() {
    if (!Ping(FindWatchPort())) {
        display_.SetProgress(90);
        return;
    }
    display_.StopTimer(kTimerFlashReturn);
    awaitRestart_ = false;
    display_.SetProgress(100);
    FinishUpgrade(kUpgradedText);
}

void UpgradeWorkflow::RejoinSelfUpgrade() {
    expectRemoval_ = true;
    display_.StopTimer(kTimerFlashReturn);
    display_.SetProgress(100);
    FinishUpgrade(kSelfUpgradeText);
    awaitSelfUpgrade_ = false;
}

void UpgradeWorkflow::OnWatchDiskArrival(std::uint32_t unitMask) {
    const char letter = DriveLetterFromUnitMask(unitMask);
    usbDriveLetter_ = letter;
    if (IsWatchDisk(WatchDiskRoot(letter))) {
        OnUsbDiskWatchDetected(std::string(kUsbDiskModelKey), std::string(kUsbDiskFirmwareVersion));
    }
}

bool UpgradeWorkflow::OnTimer(UINT_PTR id) {
    if (id == kTimerGuidedMode) {
        display_.StopTimer(id);
        FailUpgrade(kGuidedFlashTimeoutText);
        EndGuidedFlash();
        display_.CloseConnectionGuideIfOpen();
        return true;
    }
    if (id == kTimerFlashReturn) {
        display_.StopTimer(id);
        FailUpgrade(kWatchNotBackText);
        EndGuidedFlash();
        awaitWatchRestore_ = false;
        awaitRestart_ = false;
        awaitServerRestore_ = false;
        return true;
    }
    return false;
}

void UpgradeWorkflow::OnProgress(const ProgressRecord& record) {
    const ProgressOutcome out = DecideProgress(record, watch_.Get().modelClass, removalReported_);
    if (out.bar) display_.SetProgress(*out.bar);
    if (!out.endsFlash) return;

    // Whatever the end, the download port is no longer in use: its removal from now on is no
    // broken download (after a failed download it would report the failure a second time).
    downloadPortFound_ = 0;
    switch (out.rejoin) {
    case RejoinFlag::ServerRestore: awaitServerRestore_ = true; break;
    case RejoinFlag::WatchRestore: awaitWatchRestore_ = true; break;
    case RejoinFlag::Restart: awaitRestart_ = true; break;
    case RejoinFlag::SelfUpgrade: awaitSelfUpgrade_ = true; break;
    case RejoinFlag::None: break;
    }
    if (out.armReturnTimer) display_.ArmTimer(kTimerFlashReturn, kFlashReturnWaitMs);

    // Whatever the end, the ROM set is not used again.
    display_.DeleteRomStore();
    SetRomSettingPath(std::string());

    if (out.reportFailure) {
        // The watch is marked not connected before the refresh so the status line does not still
        // say "connected" beside the failure; it stays attached, so its model is kept.
        watch_.MarkNotConnected();
        copyBusy_ = false;
        display_.ShowFailure(out.failureText);
    }
    if (out.stopGuidedTimer) display_.StopTimer(kTimerGuidedMode);
    // The next upgrade reports its own removal again.
    removalReported_ = false;
    if (returnedEarly_) Rejoin();
}

// ---- restore of the watch's data -----------------------------------------------------------

void UpgradeWorkflow::CheckPendingRestore(const std::string& markerImei) {
    if (markerImei.empty()) return;
    const std::string imei = ReadImei(FindWatchPort());
    if (imei.empty() || imei != markerImei) return;
    const WatchRecord::Snapshot watch = watch_.Get();
    if (watch.modelClass == kModelClassServerRestore) {
        static_cast<void>(StartRestoreQuery(RestoreMode::AtConnection));
    } else if (watch.modelClass == kModelClassOnWatchRestore) {
        const int port = watch.port;
        if (Retry(kConnectRestoreTries, kConnectRestorePauseMs, [port] { return RestoreDataOnWatch(port); })) {
            dataFile_.DeleteImei();
            display_.ShowMessage(kRestoreSucceededText);
        } else {
            display_.ShowMessage(kRestoreWriteFailedText);
        }
    }
}

bool UpgradeWorkflow::StartRestoreQuery(RestoreMode mode) {
    restoreMode_ = mode;
    if (restoreThread_.Start(RestoreQueryMain, this)) return true;
    FailRestoreQuery();
    return false;
}

DWORD WINAPI UpgradeWorkflow::RestoreQueryMain(void* self) {
    auto* workflow = static_cast<UpgradeWorkflow*>(self);
    workflow->RunImeiQuery();
    workflow->restoreThread_.Finished();
    return 0;
}

void UpgradeWorkflow::RunImeiQuery() {
    const int port = FindWatchPort();
    bool answered = false;
    for (int i = 0; i < kRestorePings && !answered; ++i) {
        answered = Ping(port);
        if (!answered) ::Sleep(kRestorePingPauseMs);
    }
    const std::string imei = answered ? ReadImei(port) : std::string();
    if (imei.empty() || !display_.StartImeiQuery(imei)) FailRestoreQuery();
}

void UpgradeWorkflow::FailRestoreQuery() {
    display_.ShowFailure(kRestoreFailedText);
    EndFlashFlags();
}

void UpgradeWorkflow::OnRestoreAnswer(int state, std::string_view body) {
    if (state == kTaskFailed) {
        display_.ShowFailure(kRestoreDownloadFailedText);
        EndFlashFlags();
        return;
    }
    if (state != kTaskAnswered) return;
    const RestoreRecord record = SplitRestoreBody(body);

    if (restoreMode_ == RestoreMode::AtConnection) {
        if (WriteRestoreData(FindWatchPort(), record.dataA, record.dataB)) {
            dataFile_.DeleteImei();
            display_.ShowMessage(kRestoreSucceededText);
        } else {
            display_.ShowMessage(kRestoreWriteFailedText);
        }
        return;
    }

    display_.SetProgress(95);
    display_.SetStatusLine(kRestoringText);
    // Unplugging now is reported as a failure by the removal handler, as during the download.
    downloadPortFound_ = kDownloadPortInUse;
    const int port = FindWatchPort();
    const bool written = WriteRestoreData(port, record.dataA, record.dataB);
    downloadPortFound_ = 0;
    if (written) {
        dataFile_.DeleteImei();
        display_.SetProgress(100);
        RestartWatchOfClass(watch_.Get().modelClass, port);
        display_.ShowMessage(kReconnectToFinishText);
        FinishUpgrade(kUpgradedText);
        return;
    }
    display_.ShowFailure(kRestoreWriteFailedText);
    EndFlashFlags();
}

// ---- the USB-disk model ---------------------------------------------------------------------

void UpgradeWorkflow::CheckWatchDiskAtStart() {
    const std::wstring root = FindLastRemovableDrive();
    if (root.empty() || !IsWatchDisk(root)) return;
    usbDriveLetter_ = static_cast<char>(root[0]);
    OnUsbDiskWatchDetected(std::string(kUsbDiskModelKey), std::string(kUsbDiskFirmwareVersion));
}

void UpgradeWorkflow::OnUsbDiskWatchDetected(const std::string& modelKey, const std::string& version) {
    display_.CloseConnectionGuideIfOpen();
    // No serial port and no AT command: the disk is all there is of this watch.
    const std::string previous = watch_.TakeOverDisk(modelKey, version);
    display_.ShowFirmwareVersion(version);
    if (previous != watch_.Get().modelKey) {
        display_.OnModelChanged();
        display_.ShowBatteryHint(BatteryHintForModel(modelKey));
    } else {
        display_.OnSameModelAttached();
    }
    dataFile_.WriteWatch(modelKey, version);
}

}  // namespace TVSP
