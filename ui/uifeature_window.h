// CUiFeatureWindow: a CWin32Window whose content is a skin window of the skin engine
// (UiFeatureKernel.dll), and the IControlMessage receiver of its control events.
#pragma once

#include <string>

#include "uifeature/ui_kernel.h"
#include "ui/win32_window.h"
#include "ui/window_geometry.h"

class CUiFeatureWindow : public CWin32Window, public IControlMessage {
public:
    CUiFeatureWindow();
    ~CUiFeatureWindow() override;                                                      // 0

    // Plain native creation is refused: a skinned window is only made by slot 20.
    bool CreateOnOwnThread(const wchar_t* title, HWND parent, int left, int top, int right, int bottom,
                           int showCommand, DWORD style, void* userData) override;     // 1
    bool CreateOnCallingThread(const wchar_t* title, HWND parent, int left, int top, int right, int bottom,
                               int showCommand, DWORD style, void* userData) override;  // 2
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;            // 3
    bool CreateNativeWindow() override;                                                // 19

    [[nodiscard]] virtual bool CreateSkinnedWindow(const wchar_t* kernelPath, const wchar_t* skinPath, const char* windowName,
                                     HWND parent, int left, int top, int right, int bottom, int showCommand,
                                     DWORD style, void* userData, bool ownThread);     // 20
    [[nodiscard]] virtual bool CreateSkinnedWindowWithKernel(IUiKernel* kernel, const wchar_t* skinPath, const char* windowName,
                                               HWND parent, int left, int top, int right, int bottom,
                                               int showCommand, DWORD style, void* userData,
                                               bool ownThread);                        // 21
    virtual void ShowAtStoredRect(WPARAM flag);                                        // 22
    virtual void HideWindow();                                                         // 23

    // IControlMessage: nothing by default; concrete windows dispatch their commands here.
    int UIF_CALL OnControlMessage(IControlBase* sender, int code, WPARAM value1, LPARAM value2) override;

    IUiKernel* GetKernel() const { return kernel_; }
    // Ends the skin engine for the process. This window's skin lets go first: the kernel's
    // shutdown frees every skin window it still holds, and a later release of ours would touch
    // freed memory.
    void ShutdownSkinKernel();
    IUiSkinWindow* GetSkinWindow() const { return skinWindow_; }

    // The work area used for centring; tests replace it.
    static void SetWorkAreaForTesting(const TVSP::ScreenRect* area);

protected:
    // A top-level control by name, downcast to T (null when missing or of another kind).
    template <typename T>
    T* Find(const char* name) const {
        return skinWindow_ ? UifCast<T>(skinWindow_->FindControl(name)) : nullptr;
    }

    TVSP::unique_hmodule kernelLibrary_;
    IUiKernel* kernel_ = nullptr;
    IUiEngine* engine_ = nullptr;
    IUiSkinWindow* skinWindow_ = nullptr;
    std::wstring kernelPath_;
    std::wstring skinPath_;
    std::string windowName_;

private:
    bool CreateWithBoundKernel(HWND parent, int left, int top, int right, int bottom, int showCommand, DWORD style,
                               void* userData, bool ownThread);
    void UnloadKernel();
};
