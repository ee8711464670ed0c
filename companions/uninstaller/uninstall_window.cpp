// CUninstallWnd: the pages and their buttons.
#include "companions/uninstaller/uninstall_window.h"

#include "base/program_files.h"
#include "base/win/program_folder.h"
#include "base/win/strings.h"
#include "companions/uninstaller/uninstall_texts.h"

namespace TVSP::Uninstall {

bool CUninstallWnd::Create() {
    const std::wstring kernel = ProgramFolderFile(ProgramFiles::kSkinKernel);
    const std::wstring skin = ProgramFolderFile(kSkinFile);
    if (kernel.empty() || skin.empty()) return false;
    return CreateSkinnedWindow(kernel.c_str(), skin.c_str(), kWindowName, nullptr, 0, 0, 0, 0, SW_SHOW, WS_THICKFRAME,
                               nullptr, false);
}

void CUninstallWnd::SetControlText(const char* name, const wchar_t* text) {
    if (IControlBase* control = skinWindow_ ? skinWindow_->FindControl(name) : nullptr) {
        control->SetText(WideToAnsi(text).c_str());
        control->Redraw();
    }
}

void CUninstallWnd::Show(const char* name, bool shown) {
    if (IControlBase* control = skinWindow_ ? skinWindow_->FindControl(name) : nullptr) {
        control->SetVisible(shown ? TRUE : FALSE, TRUE);
    }
}

void CUninstallWnd::OnCreated() {
    ::SetWindowTextW(hwnd_, UninstallTexts::kTitle);
    SetControlText("title", UninstallTexts::kTitle);
    SetControlText("confirmtitle", UninstallTexts::kConfirmTitle);
    SetControlText("confirmtext", UninstallTexts::kConfirmText);
    SetControlText("ok", UninstallTexts::kConfirm);
    SetControlText("cancel", UninstallTexts::kCancel);
    SetControlText("finish", UninstallTexts::kFinish);
    Show("resultpage", false);
    Show("confirmpage", true);
}

void CUninstallWnd::Uninstall() {
    // The page's buttons go first: a second click must not start a second removal.
    Show("confirmpage", false);
    const RemovalReport report = RemoveInstallation(places_, running_);
    const ResultPage page = DescribeResult(report);
    done_ = true;
    exitCode_ = report.Complete() ? kExitRemoved : kExitIncomplete;
    SetControlText("resulttitle", page.title.c_str());
    SetControlText("resulttext", page.text.c_str());
    Show("donepicture", report.Complete());
    Show("failpicture", !report.Complete());
    Show("resultpage", true);
}

int UIF_CALL CUninstallWnd::OnControlMessage(IControlBase* sender, int code, WPARAM, LPARAM) {
    if (!sender || code != static_cast<int>(UIF_MSG_BUTTON_CLICKED) || !sender->GetName()) return 0;
    const char* name = sender->GetName();
    if (::lstrcmpiA(name, "ok") == 0 && !done_) {
        Uninstall();
    } else if (::lstrcmpiA(name, "cancel") == 0 || ::lstrcmpiA(name, "close") == 0 ||
               ::lstrcmpiA(name, "finish") == 0) {
        OnClose();
    }
    return 0;
}

void CUninstallWnd::OnClose() {
    if (HasWindow()) ::DestroyWindow(hwnd_);
}

void CUninstallWnd::OnKeyDown(WPARAM wParam, LPARAM lParam) {
    if (wParam == VK_ESCAPE) {
        OnClose();
        return;
    }
    CUiFeatureWindow::OnKeyDown(wParam, lParam);
}

LRESULT CUninstallWnd::OnDestroy() {
    ::PostQuitMessage(exitCode_);
    return CUiFeatureWindow::OnDestroy();
}

}  // namespace TVSP::Uninstall
