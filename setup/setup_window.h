// CSetupWindow: the installer's skin window "SetupWnd": the folder page or the cover-install page,
// the installing page with its worker, the success (or failure) page.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "base/win/handle.h"
#include "setup/install_actions.h"
#include "ui/uifeature_window.h"

namespace TVSP::Setup {

enum : UINT_PTR {
    kTimerProgress = 1001,  // 20 ms: the bar's counter, and the end of the installation
    kTimerFillPath = 1002,  // once, 50 ms after creation: the folder into the edit box
};

class CSetupWindow final : public CUiFeatureWindow {
public:
    CSetupWindow(std::wstring workFolder, DWORD uiThreadId)
        : workFolder_(std::move(workFolder)), uiThreadId_(uiThreadId) {}
    ~CSetupWindow() override;

    // The skin window "SetupWnd" of skinPath, on the calling thread, centred at its natural size.
    [[nodiscard]] bool Create(const std::wstring& kernelPath, const std::wstring& skinPath);

    // The folder the tool goes to (empty before "Setup" on a new installation).
    const std::wstring& InstallFolder() const { return installFolder_; }

    int UIF_CALL OnControlMessage(IControlBase* sender, int code, WPARAM value1, LPARAM value2) override;

protected:
    void OnCreated() override;
    void OnTimer(UINT_PTR timerId) override;
    LRESULT OnDestroy() override;

private:
    void Show(const char* name, bool shown);
    void SetText(const char* name, const std::wstring& text);
    std::wstring EditText() const;
    void ShowFreeSpace(const std::wstring& folder);
    void ChooseFolder();
    void StartNewInstallation();
    void StartInstallation();
    void Tick();
    void OpenTool();
    void CloseSetup();
    static DWORD WINAPI WorkerEntry(void* self);

    std::wstring workFolder_;
    DWORD uiThreadId_ = 0;
    bool cover_ = false;
    bool installing_ = false;
    bool succeeded_ = false;
    std::wstring installFolder_;
    std::wstring defaultFolder_;
    int counter_ = 0;
    // Written once by the worker before the flag is set; read by the UI after it sees the flag.
    InstallReport report_;
    std::atomic<bool> finished_{false};
    unique_handle worker_;

    ICtrlButton* setup_ = nullptr;
    ICtrlButton* coverInstall_ = nullptr;
    ICtrlButton* updateNow_ = nullptr;
    ICtrlCheckBox* check_ = nullptr;
    ICtrlCheckBox* checkCover_ = nullptr;
    ICtrlEditBox* editPath_ = nullptr;
    ICtrlProgressBar* progress_ = nullptr;
};

}  // namespace TVSP::Setup
