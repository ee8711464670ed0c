// CWin32Window: one native top-level window with a virtual handler per message, created on the
// calling thread or on a thread of its own; the shared window procedure and handle map.
#include "ui/win32_window.h"

#include <objbase.h>

#include <map>
#include <mutex>

#include "ui/window_geometry.h"

namespace {

// Every window of the process: windows on different threads register and look up concurrently,
// so the map is guarded. The lock is never held while a window handles a message.
struct HandleMap {
    std::mutex lock;
    std::map<HWND, CWin32Window*> windows;
};

HandleMap& Map() {
    static HandleMap* map = new HandleMap();  // outlives every window, even at process exit
    return *map;
}

void MapInsert(HWND hwnd, CWin32Window* window) {
    std::lock_guard<std::mutex> hold(Map().lock);
    Map().windows[hwnd] = window;
}

CWin32Window* MapFind(HWND hwnd) {
    std::lock_guard<std::mutex> hold(Map().lock);
    auto it = Map().windows.find(hwnd);
    return it == Map().windows.end() ? nullptr : it->second;
}

void MapErase(HWND hwnd) {
    std::lock_guard<std::mutex> hold(Map().lock);
    Map().windows.erase(hwnd);
}

void MapEraseObject(CWin32Window* window) {
    std::lock_guard<std::mutex> hold(Map().lock);
    for (auto it = Map().windows.begin(); it != Map().windows.end();) {
        it = it->second == window ? Map().windows.erase(it) : std::next(it);
    }
}

bool IsHandle(HWND h) { return h != nullptr && h != reinterpret_cast<HWND>(INVALID_HANDLE_VALUE); }

constexpr DWORD kReadyWaitMs = 30000;
constexpr DWORD kThreadEndWaitMs = 5000;

}  // namespace

CWin32Window::CWin32Window() {
    // Apartment COM for the creating thread, never uninitialised (the window lives on it).
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)hr;
}

CWin32Window::~CWin32Window() {
    if (IsHandle(hwnd_) && ::IsWindow(hwnd_)) ::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    if (ownThread_ && thread_) {
        if (::WaitForSingleObject(thread_.get(), kThreadEndWaitMs) != WAIT_OBJECT_0) {
            ::TerminateThread(thread_.get(), 1);
            ::WaitForSingleObject(thread_.get(), kThreadEndWaitMs);
        }
    }
    // Messages still queued for the window (the WM_CLOSE above) must not reach this object once
    // it is gone: they fall to the default procedure, which closes the window.
    MapEraseObject(this);
}

void CWin32Window::StoreCreation(const wchar_t* title, HWND parent, int left, int top, int right, int bottom,
                                 int showCommand, DWORD style, void* userData) {
    parent_ = parent;
    left_ = left;
    top_ = top;
    right_ = right;
    bottom_ = bottom;
    style_ = style;
    showCommand_ = showCommand;
    userData_ = userData;
    title_ = title ? title : L"Welcome UiFeature";
}

bool CWin32Window::CreateOnCallingThread(const wchar_t* title, HWND parent, int left, int top, int right, int bottom,
                                         int showCommand, DWORD style, void* userData) {
    StoreCreation(title, parent, left, top, right, bottom, showCommand, style, userData);
    ownThread_ = false;
    if (!RegisterWindowClass()) return false;
    return CreateNativeWindow();
}

bool CWin32Window::CreateOnOwnThread(const wchar_t* title, HWND parent, int left, int top, int right, int bottom,
                                     int showCommand, DWORD style, void* userData) {
    StoreCreation(title, parent, left, top, right, bottom, showCommand, style, userData);
    ownThread_ = true;
    GUID guid{};
    if (FAILED(::CoCreateGuid(&guid))) return false;
    const std::wstring name = TVSP::ReadyEventName(guid.Data1, guid.Data2, guid.Data3, guid.Data4);
    readyEvent_.reset(::CreateEventW(nullptr, FALSE, FALSE, name.c_str()));
    if (!readyEvent_) return false;
    thread_.reset(::CreateThread(nullptr, 0, &CWin32Window::ThreadMain, this, 0, nullptr));
    if (!thread_) {
        readyEvent_.reset();
        return false;
    }
    const DWORD wait = ::WaitForSingleObject(readyEvent_.get(), kReadyWaitMs);
    readyEvent_.reset();
    return wait == WAIT_OBJECT_0 && IsHandle(hwnd_) && ::IsWindow(hwnd_);
}

DWORD WINAPI CWin32Window::ThreadMain(void* param) {
    auto* self = static_cast<CWin32Window*>(param);
    self->threadId_ = ::GetCurrentThreadId();
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)hr;
    const bool created = self->RegisterWindowClass() && self->CreateNativeWindow();
    HANDLE ready = self->readyEvent_.get();
    ::SetEvent(ready);
    // Without a window nothing would ever end the loop: the thread ends at once instead.
    if (!created) return 1;
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (self->PreTranslateMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam, msg.time, msg.pt.x, msg.pt.y)) {
            continue;
        }
        if (!::TranslateAcceleratorW(msg.hwnd, nullptr, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return 0;
}

bool CWin32Window::RegisterWindowClass() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{sizeof existing};
    if (::GetClassInfoExW(instance, className_, &existing)) return true;
    WNDCLASSEXW wc{sizeof wc};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = &CWin32Window::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = className_;
    // Another thread may have registered it meanwhile.
    return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool CWin32Window::CreateNativeWindow() {
    HWND hwnd = ::CreateWindowExW(0, className_, title_.c_str(), style_, left_, top_, right_ - left_, bottom_ - top_,
                                  parent_, nullptr, ::GetModuleHandleW(nullptr), this);
    if (!hwnd) return false;
    ::SetPropW(hwnd, kFeatureWindowParam, userData_);
    OnCreated();
    ::ShowWindow(hwnd, showCommand_);
    return true;
}

CWin32Window* CWin32Window::FromHandle(HWND hwnd) { return MapFind(hwnd); }

LRESULT CWin32Window::Default(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(hwnd_, msg, wParam, lParam);
}

LRESULT CALLBACK CWin32Window::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* window = static_cast<CWin32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (!window) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
        MapInsert(hwnd, window);
        window->hwnd_ = hwnd;
        return window->HandleMessage(msg, wParam, lParam);
    }
    CWin32Window* window = MapFind(hwnd);
    if (!window) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        MapErase(hwnd);
        const LRESULT r = window->HandleMessage(msg, wParam, lParam);
        window->hwnd_ = nullptr;
        if (window->ownThread_ && window->threadId_) ::PostThreadMessageW(window->threadId_, WM_QUIT, 0, 0);
        return r;
    }
    return window->HandleMessage(msg, wParam, lParam);
}

LRESULT CWin32Window::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!IsHandle(hwnd_) || !::IsWindow(hwnd_)) return 0;
    switch (msg) {
        case WM_DESTROY: {
            HWND hwnd = hwnd_;  // slot 9 forgets it
            OnDestroy();
            return ::DefWindowProcW(hwnd, msg, wParam, lParam);
        }
        case WM_SIZE: {
            const LRESULT r = Default(msg, wParam, lParam);
            OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
            return r;
        }
        case WM_SETFOCUS:
            OnSetFocus();
            return Default(msg, wParam, lParam);
        case WM_KILLFOCUS: {
            const LRESULT r = Default(msg, wParam, lParam);
            OnKillFocus();
            return r;
        }
        case WM_PAINT: {
            if (paintByDefault_) return Default(msg, wParam, lParam);
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd_, &ps);
            OnPaint(dc);
            ::EndPaint(hwnd_, &ps);
            return 1;
        }
        case WM_ERASEBKGND:
            if (OnEraseBackground(reinterpret_cast<HDC>(wParam))) return 1;
            return Default(msg, wParam, lParam);
        case WM_SHOWWINDOW:
            OnShow(wParam != 0, lParam);
            return Default(msg, wParam, lParam);
        case WM_NCCALCSIZE:
            return 0;  // the whole window is client area
        case WM_NCPAINT:
        case WM_NCACTIVATE:
        case 0x00AE:  // WM_NCUAHDRAWCAPTION
        case 0x00AF:  // WM_NCUAHDRAWFRAME
            return 15;  // no frame drawing
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            OnKeyDown(wParam, lParam);
            return Default(msg, wParam, lParam);
        case WM_TIMER:
            OnTimer(wParam);
            return Default(msg, wParam, lParam);
        case WM_ENTERSIZEMOVE:
            OnEnterSizeMove();
            return Default(msg, wParam, lParam);
        case WM_EXITSIZEMOVE:
            OnExitSizeMove();
            return Default(msg, wParam, lParam);
        case 0x8209:  // system command from the skin engine
            OnSysCommand(wParam, lParam);
            return Default(msg, wParam, lParam);
        default:
            return Default(msg, wParam, lParam);
    }
}

void CWin32Window::OnClose() {}
void CWin32Window::OnKeyDown(WPARAM, LPARAM) {}
void CWin32Window::OnSysCommand(WPARAM wParam, LPARAM) {
    if ((wParam & 0xFFF0) == SC_CLOSE) OnClose();
}
void CWin32Window::OnCreated() {}
void CWin32Window::OnTimer(UINT_PTR) {}
LRESULT CWin32Window::OnDestroy() {
    hwnd_ = nullptr;
    parent_ = nullptr;
    userData_ = nullptr;
    return 0;
}
void CWin32Window::OnKillFocus() {}
void CWin32Window::OnSetFocus() {}
void CWin32Window::OnSize(UINT, int, int) {}
void CWin32Window::OnEnterSizeMove() {}
void CWin32Window::OnExitSizeMove() {}
bool CWin32Window::OnEraseBackground(HDC) { return true; }
void CWin32Window::OnPaint(HDC) {}
bool CWin32Window::PreTranslateMessage(HWND, UINT, WPARAM, LPARAM, DWORD, int, int) { return false; }
void CWin32Window::OnShow(bool, LPARAM) {}
