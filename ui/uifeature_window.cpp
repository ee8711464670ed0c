// CUiFeatureWindow: a CWin32Window whose content is a skin window of the skin engine
// (UiFeatureKernel.dll), and the IControlMessage receiver of its control events.
#include "ui/uifeature_window.h"

#include <atomic>

namespace {

std::atomic<const TVSP::ScreenRect*> g_testWorkArea{nullptr};

TVSP::ScreenRect WorkArea() {
    if (const TVSP::ScreenRect* injected = g_testWorkArea.load()) return *injected;
    RECT work{};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        work = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    return TVSP::ScreenRect{work.left, work.top, work.right, work.bottom};
}

}  // namespace

CUiFeatureWindow::CUiFeatureWindow() = default;

CUiFeatureWindow::~CUiFeatureWindow() {
    // The engine hooks the native window; it must let go before its library can be unloaded,
    // or the window's next message (the WM_CLOSE posted below) would run unloaded code.
    if (skinWindow_) skinWindow_->Release();
    skinWindow_ = nullptr;
    UnloadKernel();
}

void CUiFeatureWindow::ShutdownSkinKernel() {
    if (skinWindow_) skinWindow_->Release();
    skinWindow_ = nullptr;
    if (kernel_) kernel_->Shutdown();
}

void CUiFeatureWindow::UnloadKernel() {
    kernel_ = nullptr;
    engine_ = nullptr;
    kernelLibrary_.reset();
}

void CUiFeatureWindow::SetWorkAreaForTesting(const TVSP::ScreenRect* area) { g_testWorkArea.store(area); }

bool CUiFeatureWindow::CreateOnOwnThread(const wchar_t*, HWND, int, int, int, int, int, DWORD, void*) { return false; }
bool CUiFeatureWindow::CreateOnCallingThread(const wchar_t*, HWND, int, int, int, int, int, DWORD, void*) {
    return false;
}

bool CUiFeatureWindow::CreateSkinnedWindow(const wchar_t* kernelPath, const wchar_t* skinPath, const char* windowName,
                                           HWND parent, int left, int top, int right, int bottom, int showCommand,
                                           DWORD style, void* userData, bool ownThread) {
    if (!kernelPath || !*kernelPath || !skinPath || !*skinPath || !windowName || !*windowName) return false;
    if (kernelLibrary_ || HasWindow()) return false;  // one skinned window per object
    kernelPath_ = kernelPath;
    skinPath_ = skinPath;
    windowName_ = windowName;

    kernelLibrary_.reset(::LoadLibraryW(kernelPath));
    if (!kernelLibrary_) return false;
    auto get = reinterpret_cast<UifGetUiKernelInterfaceFn>(
        reinterpret_cast<void (*)()>(::GetProcAddress(kernelLibrary_.get(), kUifKernelExport)));
    IUiKernel* kernel = get ? get() : nullptr;
    IUiEngine* engine = kernel ? kernel->GetEngine() : nullptr;
    if (!engine) {
        UnloadKernel();
        return false;
    }
    kernel_ = kernel;
    engine_ = engine;
    if (kernel->HasEngineInstance()) {
        return CreateSkinnedWindowWithKernel(kernel, skinPath, windowName, parent, left, top, right, bottom,
                                             showCommand, style, userData, ownThread);
    }
    return CreateWithBoundKernel(parent, left, top, right, bottom, showCommand, style, userData, ownThread);
}

bool CUiFeatureWindow::CreateSkinnedWindowWithKernel(IUiKernel* kernel, const wchar_t*, const char* windowName,
                                                     HWND parent, int left, int top, int right, int bottom,
                                                     int showCommand, DWORD style, void* userData, bool ownThread) {
    if (!kernel || !windowName || !*windowName) return false;
    kernel_ = kernel;
    if (!engine_) engine_ = kernel->GetEngine();
    if (!engine_) return false;
    windowName_ = windowName;
    // The kernel already runs a skin: this window is a further window of that skin.
    const wchar_t* current = kernel->GetSkinPath();
    if (!current || !*current) return false;
    skinPath_ = current;
    return CreateWithBoundKernel(parent, left, top, right, bottom, showCommand, style, userData, ownThread);
}

bool CUiFeatureWindow::CreateWithBoundKernel(HWND parent, int left, int top, int right, int bottom, int showCommand,
                                             DWORD style, void* userData, bool ownThread) {
    if (ownThread) {
        return CWin32Window::CreateOnOwnThread(L"Welcome UiFeature", parent, left, top, right, bottom, showCommand,
                                               style, userData);
    }
    return CWin32Window::CreateOnCallingThread(L"Welcome UiFeature", parent, left, top, right, bottom, showCommand,
                                               style, userData);
}

bool CUiFeatureWindow::CreateNativeWindow() {
    HWND hwnd = ::CreateWindowExW(0, className_, title_.c_str(), style_, left_, top_, right_ - left_, bottom_ - top_,
                                  parent_, nullptr, ::GetModuleHandleW(nullptr), this);
    if (!hwnd) return false;
    ::SetPropW(hwnd, kFeatureWindowParam, userData_);
    if (!kernel_) return false;
    skinWindow_ = kernel_->OpenSkinWindow(hwnd, skinPath_.c_str(), windowName_.c_str());
    if (!skinWindow_) return false;  // the hidden native window stays; destroying the object closes it
    skinWindow_->SetControlMessage(this);

    if (TVSP::HasNoSize(TVSP::ScreenRect{left_, top_, right_, bottom_})) {
        int w = 0, h = 0;
        skinWindow_->GetNaturalSize(&w, &h);
        left_ = 0;
        top_ = 0;
        right_ = w;
        bottom_ = h;
        ::MoveWindow(hwnd, 0, 0, w, h, FALSE);
        const TVSP::ScreenRect r = TVSP::CentreOnWorkArea(WorkArea(), w, h);
        left_ = r.left;
        top_ = r.top;
        right_ = r.right;
        bottom_ = r.bottom;
        ::MoveWindow(hwnd, left_, top_, w, h, FALSE);
    } else {
        ::MoveWindow(hwnd, left_, top_, right_ - left_, bottom_ - top_, FALSE);
    }
    OnCreated();
    HideWindow();
    return true;
}

LRESULT CUiFeatureWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == UIF_WM_SHOW) {
        ShowAtStoredRect(0);
    } else if (msg == UIF_WM_SHOW_IF_ZERO) {
        ShowAtStoredRect(wParam);
    }
    return CWin32Window::HandleMessage(msg, wParam, lParam);
}

void CUiFeatureWindow::ShowAtStoredRect(WPARAM flag) {
    if (flag != 0 || !HasWindow()) return;
    ::MoveWindow(hwnd_, left_, top_, right_ - left_, bottom_ - top_, FALSE);
    ::ShowWindow(hwnd_, showCommand_);
}

void CUiFeatureWindow::HideWindow() {
    if (HasWindow()) ::ShowWindow(hwnd_, SW_HIDE);
}

int CUiFeatureWindow::OnControlMessage(IControlBase*, int, WPARAM, LPARAM) { return 0; }
