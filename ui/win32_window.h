// CWin32Window: one native top-level window with a virtual handler per message, created on the
// calling thread or on a thread of its own; the shared window procedure and handle map.
#pragma once

#include <windows.h>

#include <string>

#include "base/win/handle.h"

class CWin32Window {
public:
    CWin32Window();

    // Virtual operations in slot order; subclasses override them by these names.
    virtual ~CWin32Window();                                                           // 0
    [[nodiscard]] virtual bool CreateOnOwnThread(const wchar_t* title, HWND parent, int left, int top, int right, int bottom,
                                   int showCommand, DWORD style, void* userData);      // 1
    [[nodiscard]] virtual bool CreateOnCallingThread(const wchar_t* title, HWND parent, int left, int top, int right,
                                       int bottom, int showCommand, DWORD style, void* userData);  // 2
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);             // 3
    virtual void OnClose();                                                            // 4
    virtual void OnKeyDown(WPARAM wParam, LPARAM lParam);                              // 5
    virtual void OnSysCommand(WPARAM wParam, LPARAM lParam);                           // 6
    virtual void OnCreated();                                                          // 7
    virtual void OnTimer(UINT_PTR timerId);                                            // 8
    virtual LRESULT OnDestroy();                                                       // 9
    virtual void OnKillFocus();                                                        // 10
    virtual void OnSetFocus();                                                         // 11
    virtual void OnSize(UINT kind, int width, int height);                             // 12
    virtual void OnEnterSizeMove();                                                    // 13
    virtual void OnExitSizeMove();                                                     // 14
    virtual bool OnEraseBackground(HDC dc);                                            // 15
    virtual void OnPaint(HDC dc);                                                      // 16
    virtual bool PreTranslateMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD time, int x,
                                     int y);                                           // 17
    virtual void OnShow(bool shown, LPARAM lParam);                                    // 18
    virtual bool CreateNativeWindow();                                                 // 19

    HWND GetHandle() const { return hwnd_; }
    bool IsOwnThread() const { return ownThread_; }
    HANDLE GetWindowThread() const { return thread_.get(); }
    DWORD GetWindowThreadId() const { return threadId_; }
    RECT GetStoredRect() const { return RECT{left_, top_, right_, bottom_}; }

    CWin32Window(const CWin32Window&) = delete;
    CWin32Window& operator=(const CWin32Window&) = delete;

    // The object registered for a native window, or null (used by the shared window procedure).
    static CWin32Window* FromHandle(HWND hwnd);

protected:
    // Registers the class unless it exists: redraw on resize, double clicks, arrow cursor, white brush.
    bool RegisterWindowClass();
    void StoreCreation(const wchar_t* title, HWND parent, int left, int top, int right, int bottom, int showCommand,
                       DWORD style, void* userData);
    bool HasWindow() const { return hwnd_ != nullptr && hwnd_ != reinterpret_cast<HWND>(INVALID_HANDLE_VALUE); }
    // The default procedure for this window.
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    // Fields in the framework's order.
    HWND hwnd_ = nullptr;
    std::wstring title_ = L"Welcome UiFeature";
    HWND parent_ = nullptr;
    void* userData_ = nullptr;
    DWORD style_ = 0;
    TVSP::unique_handle readyEvent_;
    TVSP::unique_handle thread_;
    DWORD threadId_ = 0;
    bool ownThread_ = false;
    bool paintByDefault_ = false;
    LONG left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
    int showCommand_ = SW_SHOWNORMAL;
    wchar_t className_[260] = L"UiFeatureWindow";

private:
    static DWORD WINAPI ThreadMain(void* self);
};

// Name of the window property that carries the user data pointer.
inline constexpr wchar_t kFeatureWindowParam[] = L"featurewindowparam";
