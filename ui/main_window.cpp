// TVSP_MainWindow: binding, start-up, status refresh, tabs and commands.
#include "ui/main_window.h"

#include <shellapi.h>

#include <cstdio>

#include "base/program_files.h"
#include "device/code_signature.h"
#include "device/system_utils.h"
#include "base/win/strings.h"
#include "engine/at_channel.h"
#include "engine/model_catalog.h"
#include "engine/window_observer.h"
#include "engine/workflow_rules.h"
#include "shell/ini_files.h"
#include "ui/user_texts.h"
#include "base/win/file_io.h"
#include "device/version.h"
#include "update/client_check_reply.h"
#include "update/net_library.h"
#include "update/update_replies.h"
#include "update/rom_store.h"

namespace TVSP {
namespace {

constexpr int kButtonClicked = UIF_MSG_BUTTON_CLICKED;
constexpr DWORD kWorkerGraceMs = 2000;
constexpr DWORD kWorkerJoinMs = 8000;

// Where each control of the window lives: top-level panels are found in the window, the rest
// inside their panel.
struct ControlBinding {
    const char* panel;  // null: a top-level control
    const char* name;
};

const ControlBinding kBindings[] = {
    {nullptr, "TopPanel"}, {nullptr, "BottomPanel"}, {nullptr, "panel-update"}, {nullptr, "panel-help"},
    {"TopPanel", "OneKeyShuajiBtn"}, {"TopPanel", "ToolsBtn"}, {"TopPanel", "dot_hint"},
    {"TopPanel", "TB_MinimizeBtn"}, {"TopPanel", "TB_ClostBtn"},
    {"BottomPanel", "MobileIcon"}, {"BottomPanel", "MobileIconLink"}, {"BottomPanel", "Status"},
    {"BottomPanel", "Version"},
    {"panel-update", "panel-notready"}, {"panel-update", "panel-ready"}, {"panel-update", "panel-fail"},
    {"panel-update", "panel-chababear"},
    {"panel-ready", "WatchTitle"}, {"panel-ready", "watchconnect"}, {"panel-ready", "watchdisconnect"},
    {"panel-ready", "new"}, {"panel-ready", "version"}, {"panel-ready", "updatedatevalue"},
    {"panel-ready", "updatelogname"}, {"panel-ready", "updatelogvalue1"}, {"panel-ready", "updatelogvalue2"},
    {"panel-ready", "detail"}, {"panel-ready", "detail2"}, {"panel-ready", "startconnect"},
    {"panel-ready", "updateButton"}, {"panel-ready", "website"}, {"panel-ready", "reflashbtn"},
    {"panel-ready", "reflashhint"}, {"panel-ready", "restart_diaozhui"}, {"panel-ready", "progress"},
    {"panel-ready", "battery_hint"},
    {"panel-fail", "label"}, {"panel-fail", "back"}, {"panel-fail", "retry"},
    {"panel-help", "changjianwenti"}, {"panel-help", "appxiazai"}, {"panel-help", "jiancegengxin"},
    {"panel-help", "guanfangwangzhan"}, {"panel-help", "guanfangweibo"}, {"panel-help", "guanfangluntan"},
    {"panel-help", "yijianfankui"}, {"panel-help", "guanyuwomen"}, {"panel-help", "help_flashfail"},
    {"panel-help", "shengjijiaocheng"},
};

const char* const kNotReadyChildren[] = {"label", "tips", "Level", "plug_tip", "one", "two"};

// Help-page and upgrade-page buttons that open a web page.
struct PageCommand {
    const char* control;
    Config::WebPage page;
};

const PageCommand kPageCommands[] = {
    {"website", Config::WebPage::Website},         {"guanfangwangzhan", Config::WebPage::Website},
    {"changjianwenti", Config::WebPage::Faq},      {"appxiazai", Config::WebPage::AppDownload},
    {"guanfangweibo", Config::WebPage::SocialMedia}, {"guanfangluntan", Config::WebPage::Forum},
    {"guanyuwomen", Config::WebPage::Forum},       {"yijianfankui", Config::WebPage::UpdateFaq},
    {"help_flashfail", Config::WebPage::FlashFailHelp}, {"shengjijiaocheng", Config::WebPage::Tutorial},
};

template <typename T>
T* As(IControlBase* control) {
    return UifCast<T>(control);
}

}  // namespace

void SproutWatchDataFile::WriteWatch(const std::string& modelKey, const std::string& version) {
    SproutData::WriteWatch(modelKey, version);
}

std::string SproutWatchDataFile::ReadImei() { return SproutData::ReadImei(); }
void SproutWatchDataFile::WriteVersion(const std::string& version) { SproutData::WriteVersion(version); }
void SproutWatchDataFile::WriteImei(const std::string& imei) { SproutData::WriteImei(imei); }
void SproutWatchDataFile::DeleteImei() { SproutData::DeleteImei(); }

TVSP_MainWindow::TVSP_MainWindow() : watch_(SproutData::ReadModel(), SproutData::ReadVersion()) {}

TVSP_MainWindow::~TVSP_MainWindow() {
    // A worker still running would report to a window that is gone: it ends first.
    workflow_.Stop();
    updateWorker_.Stop(kWorkerGraceMs);
    clientWorker_.Stop(kWorkerGraceMs);
    deviceWorker_.Stop(kWorkerGraceMs);
}

bool TVSP_MainWindow::Create(DWORD mainThreadId) {
    mainThreadId_ = mainThreadId;
    ProgressMessageId();  // registered once at start-up
    const std::wstring skin = ProgramFolderFile(ProgramFiles::kMainSkin);
    if (skin.empty()) return false;
    return CreateSkinnedWindow(ProgramFiles::kSkinKernel, skin.c_str(), "mainWnd", nullptr, 0, 0, 0, 0, SW_SHOWNORMAL,
                               WS_THICKFRAME, nullptr, false);
}

bool TVSP_MainWindow::Shutdown() {
    // From here the window handles nothing more (a device notification sent by another process
    // would otherwise still reach it while the controls go away) and no worker starts: a running
    // one may start another (a detection the restore query, a restore the detection).
    shuttingDown_ = true;
    for (WorkerSlot* slot : {&updateWorker_, &deviceWorker_, &clientWorker_}) slot->Close();
    workflow_.CloseThreads();
    // Workers are waited for, never killed here: a thread killed inside a serial read leaves the
    // read pending in the system, and its completion later runs into the dead thread's memory.
    // One detection (a few AT transactions of under 2 s each) fits the wait.
    const DWORD start = ::GetTickCount();
    const auto left = [start] {
        const DWORD spent = ::GetTickCount() - start;  // unsigned: right across the wrap
        return spent >= kWorkerJoinMs ? DWORD{0} : kWorkerJoinMs - spent;
    };
    const bool workersEnded = updateWorker_.Join(left()) && workflow_.Join(left()) && deviceWorker_.Join(left()) &&
                              clientWorker_.Join(left());
    if (!workersEnded) return false;
    // The network library has no way to cancel a task: its answer is waited for the same way.
    while (tasksInFlight_ > 0 && left() > 0) ::Sleep(20);
    if (tasksInFlight_ > 0) return false;
    guide_.reset();
    ShutdownSkinKernel();
    return true;
}

IControlBase* TVSP_MainWindow::Control(const char* name) const {
    const auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : it->second;
}

void TVSP_MainWindow::BindControls() {
    if (!skinWindow_) return;
    for (const auto& binding : kBindings) {
        IControlBase* found = nullptr;
        if (!binding.panel) {
            found = skinWindow_->FindControl(binding.name);
        } else if (IControlBase* panel = Control(binding.panel)) {
            found = panel->FindDescendant(binding.name);
        }
        if (found) controls_[binding.name] = found;
    }
    if (IControlBase* notReady = Control("panel-notready")) {
        for (const char* child : kNotReadyChildren) {
            if (IControlBase* found = notReady->FindDescendant(child)) controls_[std::string("notready/") + child] = found;
        }
    }
}

void TVSP_MainWindow::SetControlText(IControlBase* control, const std::wstring& text) {
    if (control) control->SetText(WideToAnsi(text).c_str());
}

void TVSP_MainWindow::OnCreated() {
    BindControls();

    wchar_t versionText[128];
    std::swprintf(versionText, 128, UiTexts::kToolVersionFormat, GetOwnVersion().c_str());
    SetControlText(Control("Version"), versionText);

    ShowBatteryHint();
    if (SproutData::ReadTutorialClicked()) {
        if (IControlBase* dot = Control("dot_hint")) dot->SetVisible(FALSE, TRUE);
    }
    displayState_ = DisplayState::Disconnected;

    // Every start begins with an empty ROM store.
    DeleteUpdatesIni();
    TVSP::DeleteRomStore();

    auto* upgradeTab = As<ICtrlButton>(Control("OneKeyShuajiBtn"));
    if (upgradeTab && !upgradeTab->IsChecked()) SelectUpgradeTab();
    StartRomCheck();

    ::SetTimer(hwnd_, kTimerClientCheck, static_cast<UINT>(Config::CheckUpdateDelayTime()), nullptr);
    deviceNotifications_ = RegisterUsbDeviceNotifications(hwnd_);
    workflow_.CheckWatchDiskAtStart();
    // The tool runs on without it: only the IMEI query of a restore needs the library.
    const std::wstring netLibrary = ProgramFolderFile(ProgramFiles::kNetLibrary);
    if (!netLibrary.empty()) static_cast<void>(LoadNetLibrary(netLibrary));
    StartDeviceWorker();
    RefreshStatus();
}

void TVSP_MainWindow::OnTimer(UINT_PTR timerId) {
    if (timerId == kTimerClientCheck) {
        // The client check runs once per start.
        ::KillTimer(hwnd_, timerId);
        static_cast<void>(clientWorker_.Start(ClientCheckMain, this));
    } else if (timerId == kTimerGuideClose) {
        ::KillTimer(hwnd_, timerId);
        DestroyGuide();
    } else {
        static_cast<void>(workflow_.OnTimer(timerId));
    }
}

DWORD WINAPI TVSP_MainWindow::ClientCheckMain(void* self) {
    auto* window = static_cast<TVSP_MainWindow*>(self);
    {
        const std::string endpoint = WideToAnsi(Config::UpdateServerBase() + L"/checkupdate/pc");
        const std::string url = BuildClientCheckUrl(endpoint, GetMachineId(), WideToAnsi(GetOwnVersion()));
        HttpClient client(window, kTagClientCheck);
        client.Get(AnsiToWide(url));
        // A newer tool: its package is fetched on the same thread, one after the other.
        const std::wstring packageUrl = window->TakeClientPackageUrl();
        if (!packageUrl.empty()) {
            HttpClient package(window, kTagClientPackage);
            package.Get(packageUrl);
        }
    }
    window->clientWorker_.Finished();
    return 0;
}

std::wstring TVSP_MainWindow::TakeClientPackageUrl() {
    std::lock_guard lock(latestMutex_);
    return std::exchange(clientPackageUrl_, std::wstring());
}

void TVSP_MainWindow::HandleClientCheckReply(const std::wstring& reply) {
    const auto parsed = ParseClientCheckReply(reply);
    if (!parsed) return;
    // The own version in its three-part form: a four-part reply version always counts as newer,
    // and start-up discards a package whose program is not newer after all.
    wchar_t self[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    const std::uint64_t own = ParseVersion(GetFileVersionString(self, false));
    if (ParseVersion(parsed->version) <= own) return;
    std::lock_guard lock(latestMutex_);
    clientPackageUrl_ = parsed->url;
}

void TVSP_MainWindow::StoreClientPackage(const char* body, int length) {
    const std::wstring folder = ProgramFolderFile(ProgramFiles::kUpdateFolder);
    if (folder.empty()) return;
    ::CreateDirectoryW(folder.c_str(), nullptr);  // an existing folder is fine
    const std::wstring cabinet = folder + L"\\" + ProgramFiles::kUpdateCabinet;
    // Silent on failure: the user is only asked to restart once the whole package is on disk.
    if (!WriteWholeFile(cabinet, body, static_cast<std::size_t>(length))) return;
    ShowMessage(UiTexts::kNewToolDownloaded, MB_OK, true);
}

void TVSP_MainWindow::OnClose() { Close(); }

LRESULT TVSP_MainWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // Shutting down: the controls are about to go, so nothing reaches them any more.
    if (shuttingDown_) return ::DefWindowProcW(hwnd_, msg, wParam, lParam);
    const UINT progressMessage = ProgressMessageId();
    if (progressMessage != 0 && msg == progressMessage) {
        ProgressRecord* record = ProgressRecordOf(wParam);
        if (!record) return 0;
        // A sent result overtakes posted messages (Windows delivers sent messages first), so
        // the progress posted before it is handled now: the result always comes last.
        if (IsSentKind(record->kind)) HandleQueuedProgress();
        workflow_.OnProgress(*record);
        FreeProgressRecord(record);
        return kProgressRecordTaken;
    }
    if (msg == kMsgOpenRestartPrompt) {
        OpenGuide(CConnectGuideWnd::Mode::RestartPrompt);
        return 0;
    }
    if (msg == kMsgCloseGuide) {
        LeaveGuide();
        return 0;
    }
    if (msg == kMsgArmTimer) {
        ::SetTimer(hwnd_, wParam, static_cast<UINT>(lParam), nullptr);
        return 0;
    }
    if (msg == kMsgStopTimer) {
        ::KillTimer(hwnd_, wParam);
        return 0;
    }
    if (msg == WM_DEVICECHANGE) {
        OnDeviceChange(wParam, lParam);
        return TRUE;
    }
    // Alt+F4, the taskbar and other programs close the window through the system: the same
    // question as the close button, and never a window gone while the process lives on.
    if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        AskAndClose();
        return 0;
    }
    if (msg == WM_CLOSE && !closeRequested_) {
        AskAndClose();
        return 0;
    }
    if (msg == WM_DESTROY) {
        DiscardQueuedProgress();
        // However the window went, the message loop must end with it.
        if (mainThreadId_) ::PostThreadMessageW(mainThreadId_, WM_QUIT, 0, 0);
    }
    return CUiFeatureWindow::HandleMessage(msg, wParam, lParam);
}

void TVSP_MainWindow::OnDeviceChange(WPARAM wParam, LPARAM lParam) {
    UsbPresenceState state{workflow_.UsbDiskPendingRef(), workflow_.IsFlashRunning(), watch_.IsConnected()};
    const WatchEventResult result = ClassifyDeviceChangeMessage(wParam, lParam, state);
    workflow_.UsbDiskPendingRef() = state.usbDiskPending;
    workflow_.OnDeviceChange(result);
}

void TVSP_MainWindow::HandleQueuedProgress() {
    const UINT progressMessage = ProgressMessageId();
    MSG queued;
    while (HasWindow() && ::PeekMessageW(&queued, hwnd_, progressMessage, progressMessage, PM_REMOVE)) {
        if (ProgressRecord* record = ProgressRecordOf(queued.wParam)) {
            workflow_.OnProgress(*record);
            FreeProgressRecord(record);
        }
    }
}

void TVSP_MainWindow::DiscardQueuedProgress() {
    const UINT progressMessage = ProgressMessageId();
    MSG queued;
    while (HasWindow() && ::PeekMessageW(&queued, hwnd_, progressMessage, progressMessage, PM_REMOVE)) {
        FreeProgressRecord(ProgressRecordOf(queued.wParam));
    }
}

void TVSP_MainWindow::Close() {
    closeRequested_ = true;
    if (HasWindow()) ::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    if (mainThreadId_) ::PostThreadMessageW(mainThreadId_, WM_QUIT, 0, 0);
}

void TVSP_MainWindow::StartDeviceWorker() {
    // One detection at a time. A start while one runs is not dropped: a watch that left and came
    // back during that detection (as one does when it installs its own firmware) would otherwise
    // stay unfound, so the running worker detects once more. One the system refuses is dropped.
    static_cast<void>(deviceWorker_.Request(DeviceWorkerMain, this));
}

DWORD WINAPI TVSP_MainWindow::DeviceWorkerMain(void* self) {
    auto* window = static_cast<TVSP_MainWindow*>(self);
    for (bool rerun = false;; rerun = true) {
        // A rerun was asked for a watch not connected then; one the last run took over and that
        // is still there needs no second take-over (nor a second pending restore).
        if (!rerun || !window->watch_.IsConnected()) {
            if (DetectWatch(window->watch_, *window, window->dataFile_)) window->RefreshStatus();
        }
        // The slot is freed when the last run ends so the next arrival can start a new detection.
        if (window->deviceWorker_.FinishOrRunAgain()) return 0;
    }
}

void TVSP_MainWindow::SetLatestFirmware(const LatestFirmware& latest) {
    std::lock_guard lock(latestMutex_);
    latest_ = latest;
}

LatestFirmware TVSP_MainWindow::GetLatestFirmware() const {
    std::lock_guard lock(latestMutex_);
    return latest_;
}

void TVSP_MainWindow::ApplyStatusView(const StatusView& view) {
    // Before the page shows: a close pressed on the failure page must not be asked about a flash
    // (a failure from a worker thread is shown while the window thread takes clicks).
    if (view.clearFlashRunning) workflow_.SetFlashRunning(false);
    for (const auto& [name, change] : view.controls) {
        IControlBase* control = Control(name.c_str());
        if (!control) continue;
        if (change.text) SetControlText(control, *change.text);
        if (change.visible) control->SetVisible(*change.visible ? TRUE : FALSE, TRUE);
    }
}

void TVSP_MainWindow::RefreshStatus() {
    const WatchRecord::Snapshot watch = watch_.Get();
    StatusInputs in;
    in.state = displayState_;
    in.connected = watch.connected;
    in.watchVersion = watch.version;
    in.modelKey = watch.modelKey;
    in.latest = GetLatestFirmware();
    in.awaitSelfUpgrade = workflow_.AwaitsSelfUpgrade();
    in.failureMayGoBack = failureMayGoBack_;
    ApplyStatusView(ComputeStatusView(in));
}

void TVSP_MainWindow::EnterFlashDisplay() {
    if (IControlBase* progress = Control("progress")) progress->SetVisible(TRUE, TRUE);
    for (const char* name : {"updateButton", "reflashbtn", "reflashhint"}) {
        if (IControlBase* c = Control(name)) c->SetVisible(FALSE, TRUE);
    }
    SetProgress(0);
}

void TVSP_MainWindow::SetProgress(int percent) {
    if (auto* progress = As<ICtrlProgressBar>(Control("progress"))) {
        progress->SetPosition(percent);
        progress->Redraw();
    }
}

void TVSP_MainWindow::ReportFailure(const std::wstring& text, bool mayGoBack) {
    SetControlText(Control("label"), text);
    failureMayGoBack_ = mayGoBack;
    displayState_ = DisplayState::Failed;
    RefreshStatus();
}

void TVSP_MainWindow::WatchDisconnected() {
    watch_.Disconnect();
    displayState_ = DisplayState::Disconnected;
    RefreshStatus();
}

void TVSP_MainWindow::FinishFlashDisplay() {
    displayState_ = watch_.IsConnected() ? DisplayState::Ready : DisplayState::Disconnected;
    RefreshStatus();
    workflow_.EndGuidedFlash();
    StopTimer(kTimerGuidedMode);
}

void TVSP_MainWindow::ShowBatteryHint() { ShowBatteryHint(BatteryHintForModel(watch_.Get().modelKey)); }

void TVSP_MainWindow::CloseConnectionGuideIfOpen() {
    // Any thread may ask; the guide lives on the window thread.
    if (HasWindow()) ::PostMessageW(hwnd_, kMsgCloseGuide, 0, 0);
}

void TVSP_MainWindow::LeaveGuide() {
    if (!guide_ || !HasWindow()) return;
    ::SetTimer(hwnd_, kTimerGuideClose, kGuideCloseDelayMs, nullptr);
    if (HWND guide = guide_->GetHandle(); guide && ::IsWindow(guide)) ::PostMessageW(guide, WM_CLOSE, 0, 0);
}

void TVSP_MainWindow::OpenGuide(CConnectGuideWnd::Mode mode) {
    if (guide_ && guide_->GetHandle() && ::IsWindow(guide_->GetHandle())) {
        ::SetForegroundWindow(guide_->GetHandle());
        return;
    }
    guide_ = std::make_unique<CConnectGuideWnd>(*this);
    guide_->SetMode(mode);
    if (!guide_->Create(mainThreadId_)) guide_.reset();
}

void TVSP_MainWindow::DestroyGuide() {
    // A guide inside one of its handlers (a box it shows lets this timer through) goes a little
    // later, not from under its own stack.
    if (guide_ && guide_->IsBusy() && HasWindow()) {
        ::SetTimer(hwnd_, kTimerGuideClose, kGuideCloseDelayMs, nullptr);
        return;
    }
    guide_.reset();
}

void TVSP_MainWindow::ChooseGuideModel(const std::string& modelKey) {
    watch_.SelectModel(modelKey);
    // The chosen model's newest firmware, asked for here on the guide's thread, as the worker would.
    HttpClient client(this, kTagRomCheck);
    client.Get(Config::UpdateServerBase() + L"/checkupdate/rom");
}

void TVSP_MainWindow::StartGuidedWait() {
    workflow_.EnterGuidedMode();
    EnterFlashDisplay();
    DownloadRomPackage();
    ArmTimer(kTimerGuidedMode, kGuidedModeWaitMs);
}

void TVSP_MainWindow::ShowReady() {
    displayState_ = DisplayState::Ready;
    RefreshStatus();
}

void TVSP_MainWindow::SetStatusLine(const std::wstring& text) {
    if (IControlBase* detail = Control("detail")) {
        SetControlText(detail, text);
        detail->Redraw();
    }
}

void TVSP_MainWindow::ShowMessage(const std::wstring& text) { ShowMessage(text.c_str(), MB_OK, true); }

void TVSP_MainWindow::ArmTimer(UINT_PTR id, UINT milliseconds) {
    // A window's timers belong to its thread: workers hand them over.
    if (!HasWindow()) return;
    if (::GetCurrentThreadId() == ::GetWindowThreadProcessId(hwnd_, nullptr)) {
        ::SetTimer(hwnd_, id, milliseconds, nullptr);
    } else {
        ::PostMessageW(hwnd_, kMsgArmTimer, id, milliseconds);
    }
}

void TVSP_MainWindow::StopTimer(UINT_PTR id) {
    if (!HasWindow()) return;
    if (::GetCurrentThreadId() == ::GetWindowThreadProcessId(hwnd_, nullptr)) {
        ::KillTimer(hwnd_, id);
    } else {
        ::PostMessageW(hwnd_, kMsgStopTimer, id, 0);
    }
}

void TVSP_MainWindow::OpenRestartPrompt() {
    if (HasWindow()) ::PostMessageW(hwnd_, kMsgOpenRestartPrompt, 0, 0);
}

void TVSP_MainWindow::DeleteRomStore() { TVSP::DeleteRomStore(); }

bool TVSP_MainWindow::StartImeiQuery(const std::string& imei) {
    const auto url = BuildImeiQueryUrl(WideToAnsi(Config::SecureServerBase()), imei);
    if (!url || shuttingDown_) return false;
    // Counted before the start: the answer may come before StartNetTask returns.
    ++tasksInFlight_;
    if (StartNetTask(AnsiToWide(*url), this)) return true;
    --tasksInFlight_;
    return false;
}

void NETLIB_METHOD TVSP_MainWindow::OnTaskComplete(NetTask* task, const NetTaskResult* result) {
    // An answer that arrives while the tool closes is dropped: the marker stays for the next start.
    if (result && !shuttingDown_) {
        const std::string_view body = result->body ? std::string_view(result->body, result->bodyLength) : std::string_view();
        workflow_.OnRestoreAnswer(result->status, body);
    }
    if (task) task->Release();
    --tasksInFlight_;  // last: Shutdown may free this window as soon as it reads 0
}

void TVSP_MainWindow::ShowFirmwareVersion(const std::string& version) {
    if (IControlBase* c = Control("version")) c->SetText(version.c_str());
}

void TVSP_MainWindow::OnModelChanged() {
    SetLatestFirmware(LatestFirmware{});
    {
        std::lock_guard lock(latestMutex_);
        latestUrl_.clear();
    }
    StartRomCheck();
}

void TVSP_MainWindow::StartRomCheck() {
    // One worker for the check, the download and the flash: a start while it is busy is dropped.
    static_cast<void>(updateWorker_.Start(RomCheckMain, this));
}

DWORD WINAPI TVSP_MainWindow::RomCheckMain(void* self) {
    auto* window = static_cast<TVSP_MainWindow*>(self);
    {
        HttpClient client(window, kTagRomCheck);
        client.Get(Config::UpdateServerBase() + L"/checkupdate/rom");
    }
    window->updateWorker_.Finished();
    return 0;
}

void TVSP_MainWindow::StartUpgrade() {
    workflow_.SetFlashRunning(true);
    EnterFlashDisplay();
    if (IControlBase* detail2 = Control("detail2")) detail2->SetVisible(FALSE, TRUE);
    if (!updateWorker_.Start(UpgradeMain, this)) {
        // A ROM check still runs (or no thread could be made): nothing starts, so nothing may
        // stay "running" either, or the window would wait for a flash that never comes.
        workflow_.SetFlashRunning(false);
        RefreshStatus();
    }
}

DWORD WINAPI TVSP_MainWindow::UpgradeMain(void* self) {
    auto* window = static_cast<TVSP_MainWindow*>(self);
    window->DownloadRomPackage();
    window->workflow_.Flash();
    window->updateWorker_.Finished();
    return 0;
}

void TVSP_MainWindow::DownloadRomPackage() {
    SetStatusLine(UiTexts::kDownloadingRom);
    std::string url;
    {
        std::lock_guard lock(latestMutex_);
        romSetModel_ = watch_.Get().modelKey;
        romSetVersion_ = latest_.version;
        url = latestUrl_;
    }
    workflow_.SetRomSettingPath(std::string());
    HttpClient client(this, kTagRomPackage);
    client.Get(AnsiToWide(url));
}

void TVSP_MainWindow::FailRomDownload() {
    ReportFailure(UiTexts::kRomDownloadFailed, true);
    TVSP::DeleteRomStore();
    workflow_.SetRomSettingPath(std::string());
}

void TVSP_MainWindow::HandleRomPackageEvent(const UpdateEvent& event) {
    if (event.kind == UpdateEvent::Progress) {
        if (event.total >= 1) SetProgress(static_cast<int>(static_cast<double>(event.received) / event.total * 5.0));
    } else if (event.kind == UpdateEvent::Failed) {
        FailRomDownload();
    }
}

void TVSP_MainWindow::OnHttpCancelled() {
    UpdateEvent event;
    event.kind = UpdateEvent::Cancelled;
    HandleUpdateEvent(event);
}

void TVSP_MainWindow::OnHttpFailed(int tag, int code) {
    UpdateEvent event;
    event.tag = tag;
    event.kind = UpdateEvent::Failed;
    event.status = code;
    HandleUpdateEvent(event);
}

void TVSP_MainWindow::OnHttpSucceeded(int tag, const char* body, int length) {
    if (tag == kTagRomPackage) {
        // An empty package is no package: reported as a failed download rather than left silent.
        if (!body || length <= 0) {
            FailRomDownload();
            return;
        }
        std::string model, version;
        {
            std::lock_guard lock(latestMutex_);
            model = romSetModel_;
            version = romSetVersion_;
        }
        const PackageUse use = model == kUsbDiskModelKey ? PackageUse::UsbDisk : PackageUse::Flash;
        const StoredRom stored =
            StoreRomPackage(body, static_cast<std::size_t>(length), model, version, use, IsSignedByMaker);
        if (stored.outcome == RomStoreOutcome::Stored) {
            workflow_.SetRomSettingPath(stored.romSettingPath);
        } else {
            FailRomDownload();
        }
        return;
    }
    // An empty answer changes nothing.
    if (!body || length <= 0) return;
    if (tag == kTagClientCheck) {
        HandleClientCheckReply(AnsiToWide(std::string_view(body, static_cast<std::size_t>(length))));
        return;
    }
    if (tag == kTagClientPackage) {
        StoreClientPackage(body, length);
        return;
    }
    if (tag != kTagRomCheck) return;  // the ROM package arrives with the download step
    UpdateEvent event;
    event.tag = tag;
    event.kind = UpdateEvent::Succeeded;
    event.body.assign(body, static_cast<std::size_t>(length));
    HandleUpdateEvent(event);
}

void TVSP_MainWindow::OnHttpProgress(int tag, int received, int total) {
    UpdateEvent event;
    event.tag = tag;
    event.kind = UpdateEvent::Progress;
    event.received = received;
    event.total = total;
    HandleUpdateEvent(event);
}

void TVSP_MainWindow::HandleUpdateEvent(const UpdateEvent& event) {
    if (event.tag == kTagRomPackage) {
        HandleRomPackageEvent(event);
        return;
    }
    if (event.tag != kTagRomCheck) return;
    const RomCheckOutcome outcome = DecideRomCheck(event, watch_.Get().modelKey, GetLatestFirmware().version);
    if (outcome.entry) {
        LatestFirmware latest;
        latest.version = outcome.entry->version;
        latest.releaseTime = outcome.entry->timestamp;
        latest.note1 = Utf8ToWide(outcome.entry->note1);
        latest.note2 = Utf8ToWide(outcome.entry->note2);
        SetLatestFirmware(latest);
        std::lock_guard lock(latestMutex_);
        latestUrl_ = outcome.entry->url;
    }
    if (outcome.fail) {
        DeleteUpdatesIni();
        SetControlText(Control("label"), UiTexts::kRomCheckFailed);
        failureMayGoBack_ = false;
        displayState_ = DisplayState::Failed;
        RefreshStatus();
    } else if (outcome.show) {
        displayState_ = watch_.IsConnected() ? DisplayState::Ready : DisplayState::Disconnected;
        RefreshStatus();
    }
}

void TVSP_MainWindow::ShowBatteryHint(const std::wstring& hint) { SetControlText(Control("battery_hint"), hint); }

void TVSP_MainWindow::OnSameModelAttached() {
    if (GetLatestFirmware().version.empty()) return;
    displayState_ = DisplayState::Ready;
    RefreshStatus();
}

void TVSP_MainWindow::CheckPendingRestore(const std::string& imei) { workflow_.CheckPendingRestore(imei); }

void TVSP_MainWindow::SelectUpgradeTab() {
    if (auto* b = As<ICtrlButton>(Control("OneKeyShuajiBtn"))) b->SetChecked(TRUE, TRUE);
    if (auto* b = As<ICtrlButton>(Control("ToolsBtn"))) b->SetChecked(FALSE, TRUE);
    if (IControlBase* c = Control("panel-update")) c->SetVisible(TRUE, TRUE);
    if (IControlBase* c = Control("panel-help")) c->SetVisible(FALSE, TRUE);
}

void TVSP_MainWindow::SelectToolsTab() {
    if (auto* b = As<ICtrlButton>(Control("OneKeyShuajiBtn"))) b->SetChecked(FALSE, TRUE);
    if (auto* b = As<ICtrlButton>(Control("ToolsBtn"))) b->SetChecked(TRUE, TRUE);
    if (IControlBase* c = Control("panel-update")) c->SetVisible(FALSE, TRUE);
    if (IControlBase* c = Control("panel-help")) c->SetVisible(TRUE, TRUE);
    SproutData::WriteTutorialClicked();
    if (IControlBase* dot = Control("dot_hint")) dot->SetVisible(FALSE, TRUE);
}

bool TVSP_MainWindow::IsSender(IControlBase* sender, const char* name) const {
    IControlBase* stored = Control(name);
    if (!sender || !stored) return false;
    return sender == stored || ::lstrcmpiA(sender->GetName(), name) == 0;
}

int TVSP_MainWindow::ShowMessage(const wchar_t* text, UINT flags, bool owned) {
    return ::MessageBoxW(owned ? hwnd_ : nullptr, text, kMessageCaption, flags);
}

void TVSP_MainWindow::OpenWebPage(int page) {
    const std::wstring address = L"\"" + Config::WebPageAddress(static_cast<Config::WebPage>(page)) + L"\"";
    ::ShellExecuteW(nullptr, L"open", L"explorer.exe", address.c_str(), nullptr, SW_SHOWNORMAL);
}

void TVSP_MainWindow::RestartWatch() {
    const WatchRecord::Snapshot watch = watch_.Get();
    // Without a watch there is nothing to restart, and saying it restarted would be false.
    if (!watch.connected || watch.port == 0) return;
    if (IsPoweredOffToRestart(watch.modelClass)) {
        PowerOffWatch(watch.port);
    } else {
        RebootWatch(watch.port);
    }
    ShowMessage(UiTexts::kWatchRestarted, MB_OK, true);
}

void TVSP_MainWindow::CheckClientUpdateCommand() {
    const std::wstring cabinet = ProgramFolderFile(std::wstring(ProgramFiles::kUpdateFolder) + L"\\" +
                                                   ProgramFiles::kUpdateCabinet);
    const bool waiting = !cabinet.empty() && ::GetFileAttributesW(cabinet.c_str()) != INVALID_FILE_ATTRIBUTES;
    ShowMessage(waiting ? UiTexts::kRestartToUpdate : UiTexts::kToolUpToDate, MB_OK, true);
}

void TVSP_MainWindow::AskAndClose() {
    if (closeRequested_) return;
    if (workflow_.IsFlashRunning()) {
        // A second request while the question is open (another Alt+F4) does not stack boxes.
        if (asking_.exchange(true)) return;
        const int answer = ShowMessage(UiTexts::kConfirmQuitDuringFlash, MB_ICONWARNING | MB_YESNO, false);
        asking_ = false;
        if (answer == IDNO) return;
    }
    Close();
}

void TVSP_MainWindow::OnSysCommand(WPARAM wParam, LPARAM lParam) {
    // The skin's caption close button arrives here: the same path as every other close.
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        AskAndClose();
        return;
    }
    CUiFeatureWindow::OnSysCommand(wParam, lParam);
}

int UIF_CALL TVSP_MainWindow::OnControlMessage(IControlBase* sender, int code, WPARAM, LPARAM) {
    if (code != kButtonClicked) return 0;

    if (IsSender(sender, "OneKeyShuajiBtn")) {
        auto* tab = As<ICtrlButton>(Control("OneKeyShuajiBtn"));
        if (tab && !tab->IsChecked()) SelectUpgradeTab();
    } else if (IsSender(sender, "ToolsBtn")) {
        auto* tab = As<ICtrlButton>(Control("ToolsBtn"));
        if (tab && !tab->IsChecked()) SelectToolsTab();
    } else if (IsSender(sender, "back")) {
        displayState_ = watch_.IsConnected() ? DisplayState::Ready : DisplayState::Disconnected;
        RefreshStatus();
    } else if (IsSender(sender, "updateButton") || IsSender(sender, "reflashhint")) {
        StartUpgrade();
    } else if (IsSender(sender, "retry")) {
        StartRomCheck();
    } else if (IsSender(sender, "restart_diaozhui")) {
        RestartWatch();
    } else if (IsSender(sender, "jiancegengxin")) {
        CheckClientUpdateCommand();
    } else if (IsSender(sender, "TB_MinimizeBtn")) {
        ::ShowWindow(hwnd_, SW_MINIMIZE);
        if (IControlBase* c = Control("TB_MinimizeBtn")) c->Redraw();
    } else if (IsSender(sender, "TB_ClostBtn")) {
        AskAndClose();
    } else if (IsSender(sender, "startconnect")) {
        OpenGuide(CConnectGuideWnd::Mode::Guide);
    } else {
        for (const auto& command : kPageCommands) {
            if (IsSender(sender, command.control)) {
                OpenWebPage(static_cast<int>(command.page));
                break;
            }
        }
    }
    return 0;
}

}  // namespace TVSP
