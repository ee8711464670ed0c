// CUninstallWnd: the skin window "UninstWnd": the confirmation page, then the result page.
#pragma once

#include <windows.h>

#include "companions/uninstaller/uninstall_removal.h"
#include "ui/uifeature_window.h"

namespace TVSP::Uninstall {

class CUninstallWnd final : public CUiFeatureWindow {
public:
    CUninstallWnd(InstallPlaces places, std::wstring running)
        : places_(std::move(places)), running_(std::move(running)) {}

    // The skin beside the program, on the calling thread, centred at its natural size.
    [[nodiscard]] bool Create();
    // What the process exits with once the window is gone.
    int ExitCode() const { return exitCode_; }

    int UIF_CALL OnControlMessage(IControlBase* sender, int code, WPARAM value1, LPARAM value2) override;

protected:
    void OnCreated() override;
    void OnClose() override;
    void OnKeyDown(WPARAM wParam, LPARAM lParam) override;
    LRESULT OnDestroy() override;

private:
    void SetControlText(const char* name, const wchar_t* text);
    void Show(const char* name, bool shown);
    void Uninstall();

    InstallPlaces places_;
    std::wstring running_;
    bool done_ = false;
    int exitCode_ = kExitCancelled;
};

}  // namespace TVSP::Uninstall
