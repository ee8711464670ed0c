// CSetupWindow: the pages, the worker running the installation actions, and the launch of the tool.
#include "setup/setup_window.h"

#include <shellapi.h>
#include <shlobj.h>

#include <memory>

#include "base/maker_site.h"
#include "base/program_files.h"
#include "base/user_caption.h"
#include "base/win/strings.h"
#include "device/code_signature.h"
#include "setup/setup_rules.h"
#include "setup/setup_texts.h"

namespace TVSP::Setup {
namespace {

constexpr DWORD kCloseWaitMs = 5000;

bool Named(IControlBase* control, const char* name) {
    return control && control->GetName() && ::lstrcmpiA(control->GetName(), name) == 0;
}

std::wstring DefaultInstallFolder() {
    wchar_t programFiles[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles))) {
        return L"C:\\Program Files\\Tarvo";
    }
    return JoinPath(programFiles, SetupTexts::kDefaultFolderName);
}

// The browser opens on the folder it is given.
int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM, LPARAM data) {
    if (msg == BFFM_INITIALIZED && data) ::SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

struct PidlFree {
    void operator()(ITEMIDLIST* pidl) const { ::CoTaskMemFree(pidl); }
};

}  // namespace

CSetupWindow::~CSetupWindow() {
    // The worker reads this object: it must be gone first.
    if (worker_ && ::WaitForSingleObject(worker_.get(), kCloseWaitMs) != WAIT_OBJECT_0) {
        ::TerminateThread(worker_.get(), 1);
    }
}

bool CSetupWindow::Create(const std::wstring& kernelPath, const std::wstring& skinPath) {
    return CreateSkinnedWindow(kernelPath.c_str(), skinPath.c_str(), "SetupWnd", nullptr, 0, 0, 0, 0, SW_SHOW,
                               WS_THICKFRAME, nullptr, false);
}

void CSetupWindow::Show(const char* name, bool shown) {
    if (IControlBase* control = skinWindow_ ? skinWindow_->FindControl(name) : nullptr) {
        control->SetVisible(shown ? TRUE : FALSE, TRUE);
    }
}

void CSetupWindow::SetText(const char* name, const std::wstring& text) {
    if (IControlBase* control = skinWindow_ ? skinWindow_->FindControl(name) : nullptr) {
        control->SetText(WideToAnsi(text).c_str());
        control->Redraw();
    }
}

std::wstring CSetupWindow::EditText() const {
    if (!editPath_) return {};
    char buffer[MAX_PATH * 2 + 2] = {};
    editPath_->GetText(buffer, static_cast<int>(sizeof(buffer)));
    return AnsiToWide(buffer);
}

void CSetupWindow::ShowFreeSpace(const std::wstring& folder) {
    ULARGE_INTEGER available{}, total{}, totalFree{};
    const std::wstring root = DriveRootOf(folder);
    if (!::GetDiskFreeSpaceExW(root.c_str(), &available, &total, &totalFree)) totalFree.QuadPart = 0;
    SetText("left_volume_text", FreeSpaceText(totalFree.QuadPart));
}

void CSetupWindow::OnCreated() {
    ::SetWindowTextW(hwnd_, kMessageCaption);
    if (skinWindow_) skinWindow_->SetControlMessage(this);
    setup_ = Find<ICtrlButton>("Setup");
    coverInstall_ = Find<ICtrlButton>("cover_install");
    updateNow_ = Find<ICtrlButton>("update_now");
    check_ = Find<ICtrlCheckBox>("Check");
    checkCover_ = Find<ICtrlCheckBox>("check_cover");
    editPath_ = Find<ICtrlEditBox>("edit_path");
    progress_ = Find<ICtrlProgressBar>("install_progress");

    Show("installing_panel", false);
    Show("install_success", false);
    if (EarlierInstallationPresent()) {
        cover_ = true;
        installFolder_ = ReadInstallPath();
        Show("PreSetupPanel", false);
        Show("cover_install_panel", true);
        if (checkCover_) checkCover_->SetChecked(TRUE, TRUE);
    } else {
        defaultFolder_ = DefaultInstallFolder();
        if (check_) check_->SetChecked(TRUE, TRUE);
        ShowFreeSpace(defaultFolder_);
        SetText("occupy_volume_text", SetupTexts::kSpaceNeeded);
    }
    ::SetTimer(hwnd_, kTimerFillPath, 50, nullptr);
}

void CSetupWindow::OnTimer(UINT_PTR timerId) {
    if (timerId == kTimerFillPath) {
        ::KillTimer(hwnd_, kTimerFillPath);
        if (cover_) {
            Show("edit_path", false);
        } else {
            SetText("edit_path", defaultFolder_);
        }
    } else if (timerId == kTimerProgress) {
        Tick();
    } else {
        CUiFeatureWindow::OnTimer(timerId);
    }
}

void CSetupWindow::ChooseFolder() {
    const std::wstring current = EditText();
    BROWSEINFOW info{};
    info.hwndOwner = hwnd_;
    info.lpszTitle = SetupTexts::kBrowseTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;  // 5
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(current.c_str());
    std::unique_ptr<ITEMIDLIST, PidlFree> chosen(::SHBrowseForFolderW(&info));
    if (!chosen) return;
    wchar_t path[MAX_PATH] = {};
    if (!::SHGetPathFromIDListW(chosen.get(), path)) return;
    SetText("edit_path", path);
    ShowFreeSpace(path);
}

void CSetupWindow::StartNewInstallation() {
    const std::optional<std::wstring> folder = InstallFolderFor(EditText());
    // The chosen folder itself must be makeable; the leaf is made by the actions.
    bool creatable = false;
    if (folder) {
        const std::wstring parent = folder->substr(0, folder->size() - std::wstring(kInstallLeaf).size());
        const int made = ::SHCreateDirectoryExW(nullptr, parent.c_str(), nullptr);
        creatable = made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS || made == ERROR_FILE_EXISTS ||
                    (parent.size() <= 3 && ::GetFileAttributesW(parent.c_str()) != INVALID_FILE_ATTRIBUTES);
        if (creatable) {
            const DWORD attributes = ::GetFileAttributesW(parent.c_str());
            creatable = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        }
    }
    if (!creatable) {
        ::MessageBoxW(hwnd_, SetupTexts::kInvalidPath, kMessageCaption, MB_OK | MB_ICONERROR);
        return;
    }
    installFolder_ = *folder;
    Show("edit_path", false);
    Show("PreSetupPanel", false);
    StartInstallation();
}

void CSetupWindow::StartInstallation() {
    if (installing_) return;
    installing_ = true;
    Show("cover_install_panel", false);
    Show("installing_panel", true);
    Show("Close", false);
    ::SetTimer(hwnd_, kTimerProgress, 20, nullptr);
    worker_.reset(::CreateThread(nullptr, 0, WorkerEntry, this, 0, nullptr));
    if (!worker_) {
        report_ = InstallReport{};
        finished_.store(true, std::memory_order_release);
    }
}

DWORD WINAPI CSetupWindow::WorkerEntry(void* param) {
    auto* self = static_cast<CSetupWindow*>(param);
    InstallRequest request;
    request.workFolder = self->workFolder_;
    request.installFolder = self->installFolder_;
    request.earlierInstallation = self->cover_ && EarlierInstallationPresent();
    self->report_ = RunInstallActions(request);
    self->finished_.store(true, std::memory_order_release);
    return 0;
}

void CSetupWindow::Tick() {
    ++counter_;
    const bool ended = finished_.load(std::memory_order_acquire);
    const ProgressStep step = StepProgress(counter_, ended, ended && report_.completed);
    if (step.showValue) {
        if (progress_) progress_->SetPosition(counter_);
        SetText("installing_percent", PercentText(counter_));
    }
    if (!step.finish) return;
    ::KillTimer(hwnd_, kTimerProgress);
    succeeded_ = step.succeeded;
    Show("installing_panel", false);
    SetText("successtitle", succeeded_ ? SetupTexts::kDoneTitle : SetupTexts::kFailedTitle);
    SetText("successtext", succeeded_ ? SetupTexts::kDoneText : SetupTexts::kFailedText);
    Show("donepicture", succeeded_);
    Show("failpicture", !succeeded_);
    // Nothing to start when the tool did not land.
    Show("open_right_now", succeeded_);
    Show("install_success", true);
    Show("Close", true);
}

void CSetupWindow::OpenTool() {
    const std::wstring tool = JoinPath(installFolder_, ProgramFiles::kTool);
    if (IsSignedByMaker(tool)) {
        ::ShellExecuteW(nullptr, L"open", tool.c_str(), nullptr, installFolder_.c_str(), SW_SHOWNORMAL);
    } else {
        ::MessageBoxW(nullptr, SetupTexts::kUnsigned, kMessageCaption, MB_OK | MB_ICONERROR);
    }
    CloseSetup();
}

void CSetupWindow::CloseSetup() {
    if (HasWindow()) ::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    if (IsOwnThread() && GetWindowThread() &&
        ::WaitForSingleObject(GetWindowThread(), kCloseWaitMs) != WAIT_OBJECT_0) {
        ::TerminateThread(GetWindowThread(), 1);
    }
    ::PostThreadMessageW(uiThreadId_, WM_QUIT, 0, 0);
}

int UIF_CALL CSetupWindow::OnControlMessage(IControlBase* sender, int code, WPARAM value1, LPARAM) {
    if (!sender) return 0;
    if (code == static_cast<int>(UIF_MSG_BUTTON_CLICKED)) {
        if (Named(sender, "Close")) {
            if (!installing_ || finished_.load(std::memory_order_acquire)) CloseSetup();
        } else if (Named(sender, "ChangeDir")) {
            if (!installing_) ChooseFolder();
        } else if (Named(sender, "Setup")) {
            // A disabled button cannot be clicked, but the licence is checked again regardless.
            if (!installing_ && !cover_ && check_ && check_->IsChecked()) StartNewInstallation();
        } else if (Named(sender, "cover_install") || Named(sender, "update_now")) {
            if (cover_ && checkCover_ && checkCover_->IsChecked()) StartInstallation();
        } else if (Named(sender, "open_right_now")) {
            if (succeeded_) OpenTool();
        }
    } else if (code == static_cast<int>(UIF_MSG_LINK_CLICKED)) {
        if (Named(sender, "LicenseAgreement") || Named(sender, "license_cover")) {
            ::ShellExecuteW(nullptr, L"open", L"explorer.exe", kLicensePage, nullptr, SW_SHOWNORMAL);
        }
    } else if (code == static_cast<int>(UIF_MSG_CHECK_CHANGED)) {
        const BOOL on = value1 ? TRUE : FALSE;
        if (Named(sender, "Check")) {
            if (setup_) setup_->SetEnabled(on);
        } else if (Named(sender, "check_cover")) {
            if (coverInstall_) coverInstall_->SetEnabled(on);
            if (updateNow_) updateNow_->SetEnabled(on);
        }
    }
    return 0;
}

LRESULT CSetupWindow::OnDestroy() {
    if (HasWindow()) ::KillTimer(hwnd_, kTimerProgress);
    // However the window goes (Alt+F4 too), the loop ends with it.
    ::PostThreadMessageW(uiThreadId_, WM_QUIT, 0, 0);
    return CUiFeatureWindow::OnDestroy();
}

}  // namespace TVSP::Setup
