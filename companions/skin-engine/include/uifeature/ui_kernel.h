// The skin engine's interface (UiFeatureKernel.dll and its hosts): pure abstract classes, plain C types.
//
// Every DLL and program links its own static C++ runtime, so nothing here owns memory across the
// boundary: objects the engine hands out are created and destroyed by the engine, strings it
// returns stay valid as long as their object, and hosts pass plain pointers. Texts of controls
// are narrow strings in the calling thread's ANSI code page; paths are UTF-16.
#pragma once

#include <windows.h>

// One calling convention for every interface method and the export, on every target (x64 has
// only one; on x86 it is stdcall, like the Win32 API).
#if defined(_WIN64)
#define UIF_CALL
#else
#define UIF_CALL __stdcall
#endif

// Control kinds, for the checked downcast (UifCast below).
enum UifControlKind {
    UIF_KIND_PANEL = 1,
    UIF_KIND_BUTTON = 2,
    UIF_KIND_STATIC = 3,
    UIF_KIND_PROGRESS = 4,
    UIF_KIND_RADIO = 5,
    UIF_KIND_CHECK = 6,
    UIF_KIND_EDIT = 7,
    UIF_KIND_LINK = 8,
};

// Control messages the engine hands to IControlMessage.
enum UifControlMessageCode {
    UIF_MSG_BUTTON_CLICKED = 0x10004002,  // value1 0, value2 0
    UIF_MSG_LINK_CLICKED = 0x10008002,    // value1 0, value2 0
    UIF_MSG_RADIO_CHOSEN = 0x10019001,    // value1 1 (now checked)
    UIF_MSG_CHECK_CHANGED = 0x10028002,   // value1 1 when now checked, 0 when now unchecked
};

// Window messages the engine sends or posts to the host window.
enum UifHostMessage {
    UIF_WM_SHOW = 0x8201,        // posted once the skin is loaded: show the window
    UIF_WM_SHOW_IF_ZERO = 0x8202,  // show when wParam is 0
    UIF_WM_SYSCOMMAND = 0x8209,  // sent: wParam is a system command (SC_CLOSE, SC_MINIMIZE)
};

class IControlBase;

// The host's receiver of control events; called on the window's thread, never with an engine
// lock held, so it may call any control operation. The result is the host's; the engine ignores it.
class IControlMessage {
public:
    virtual int UIF_CALL OnControlMessage(IControlBase* sender, int code, WPARAM value1, LPARAM value2) = 0;

protected:
    ~IControlMessage() = default;
};

// Every operation of every control may be called from any thread: the engine serialises state
// changes and repaints through the window's own thread.
class IControlBase {
public:
    virtual int UIF_CALL GetKind() = 0;              // UifControlKind
    virtual const char* UIF_CALL GetName() = 0;      // as in the skin
    // False when the control could not be made whole (an image file missing, a native edit that
    // could not be created, its window gone): lookups skip it with its subtree.
    virtual BOOL UIF_CALL IsUsable() = 0;
    // Depth first over the children in order, names compared without case, first match wins;
    // an unusable child is skipped with its subtree. The control itself is not a candidate.
    virtual IControlBase* UIF_CALL FindDescendant(const char* name) = 0;
    virtual void UIF_CALL SetVisible(BOOL visible, BOOL redraw) = 0;
    virtual BOOL UIF_CALL IsVisible() = 0;          // its own flag, not its parents'
    virtual void UIF_CALL Redraw() = 0;
    virtual void UIF_CALL SetText(const char* text) = 0;  // ANSI; null is an empty text
    // Copies the text (ANSI, terminated) into buffer when size allows; gives the length in bytes
    // without the terminator, so a call with size 0 asks for the room needed.
    virtual int UIF_CALL GetText(char* buffer, int size) = 0;
    // Position in the window's client area, in pixels at the window's display scale.
    virtual void UIF_CALL GetBounds(RECT* bounds) = 0;

protected:
    ~IControlBase() = default;
};

class ICtrlPanel : public IControlBase {
public:
    enum { Kind = UIF_KIND_PANEL };

protected:
    ~ICtrlPanel() = default;
};

class ICtrlButton : public IControlBase {
public:
    enum { Kind = UIF_KIND_BUTTON };
    virtual void UIF_CALL SetEnabled(BOOL enabled) = 0;
    virtual BOOL UIF_CALL IsEnabled() = 0;
    virtual void UIF_CALL SetChecked(BOOL checked, BOOL redraw) = 0;
    virtual BOOL UIF_CALL IsChecked() = 0;

protected:
    ~ICtrlButton() = default;
};

class ICtrlStaticBox : public IControlBase {
public:
    enum { Kind = UIF_KIND_STATIC };
    // Selects one state of the picture (frame of an image strip, step of a vector picture);
    // values past the last state show the last one. Takes effect on the next redraw.
    virtual void UIF_CALL SetImageState(int state) = 0;
    virtual int UIF_CALL GetImageState() = 0;

protected:
    ~ICtrlStaticBox() = default;
};

class ICtrlProgressBar : public IControlBase {
public:
    enum { Kind = UIF_KIND_PROGRESS };
    virtual void UIF_CALL SetPosition(int position) = 0;  // clamped to 0..max (max 100 unless the skin says)
    virtual int UIF_CALL GetPosition() = 0;

protected:
    ~ICtrlProgressBar() = default;
};

class ICtrlRadioBox : public IControlBase {
public:
    enum { Kind = UIF_KIND_RADIO };
    // Checking a radio box unchecks the others of its group (same parent, same group name).
    virtual void UIF_CALL SetChecked(BOOL checked) = 0;
    virtual BOOL UIF_CALL IsChecked() = 0;

protected:
    ~ICtrlRadioBox() = default;
};

class ICtrlCheckBox : public IControlBase {
public:
    enum { Kind = UIF_KIND_CHECK };
    virtual void UIF_CALL SetEnabled(BOOL enabled) = 0;
    virtual BOOL UIF_CALL IsEnabled() = 0;
    virtual void UIF_CALL SetChecked(BOOL checked, BOOL redraw) = 0;
    virtual BOOL UIF_CALL IsChecked() = 0;

protected:
    ~ICtrlCheckBox() = default;
};

class ICtrlEditBox : public IControlBase {
public:
    enum { Kind = UIF_KIND_EDIT };
    virtual void UIF_CALL SetEnabled(BOOL enabled) = 0;
    virtual BOOL UIF_CALL IsEnabled() = 0;

protected:
    ~ICtrlEditBox() = default;
};

class ICtrlLink : public IControlBase {
public:
    enum { Kind = UIF_KIND_LINK };
    virtual void UIF_CALL SetEnabled(BOOL enabled) = 0;
    virtual BOOL UIF_CALL IsEnabled() = 0;

protected:
    ~ICtrlLink() = default;
};

// Checked downcast: null unless the control is of T's kind.
template <typename T>
T* UifCast(IControlBase* control) {
    return control && control->GetKind() == T::Kind ? static_cast<T*>(control) : nullptr;
}

// One skin window attached to one host window.
class IUiSkinWindow {
public:
    // A control by name, compared without case: the top-level controls first, then depth first
    // through the whole tree; unusable controls are skipped with their subtrees.
    virtual IControlBase* UIF_CALL FindControl(const char* name) = 0;
    virtual void UIF_CALL SetControlMessage(IControlMessage* receiver) = 0;  // null: none
    // The skin's window size in pixels at the window's display scale.
    virtual void UIF_CALL GetNaturalSize(int* width, int* height) = 0;
    virtual void UIF_CALL RedrawControl(IControlBase* control) = 0;
    virtual const char* UIF_CALL GetName() = 0;
    virtual HWND UIF_CALL GetHostWindow() = 0;  // null once the host window is gone
    // The host lets go of this skin window before it unloads the engine: the engine stops
    // handling the host window's messages and destroys this object and its controls. Call it
    // on the window's thread (or when the window is gone); nothing of this window may be used after.
    virtual void UIF_CALL Release() = 0;

protected:
    ~IUiSkinWindow() = default;
};

// Process-wide services of the engine.
class IUiEngine {
public:
    virtual int UIF_CALL GetVersion() = 0;  // 0x0100 for 1.0
    // Why the last OpenSkinWindow of this process failed (UTF-8, names the file line), or "".
    virtual const char* UIF_CALL GetLastError() = 0;
    // Display scale of windows opened from now on, in percent (100 = 96 DPI); 0 = the system's.
    virtual void UIF_CALL SetScaleOverride(int percent) = 0;
    virtual int UIF_CALL GetScalePercent() = 0;  // what the next window gets

protected:
    ~IUiEngine() = default;
};

class IUiKernel {
public:
    virtual IUiEngine* UIF_CALL GetEngine() = 0;
    // True while a skin window of this kernel is alive: a further window then uses that skin.
    virtual BOOL UIF_CALL HasEngineInstance() = 0;
    // Loads the skin (UTF-8 file), attaches its window windowName to host (on the host window's
    // thread) and posts UIF_WM_SHOW to the host. Null on any failure (GetEngine()->GetLastError()).
    virtual IUiSkinWindow* UIF_CALL OpenSkinWindow(HWND host, const wchar_t* skinPath, const char* windowName) = 0;
    // The skin file of the live instance ("" when none).
    virtual const wchar_t* UIF_CALL GetSkinPath() = 0;
    // Once, at exit: releases every skin window and the drawing library.
    virtual void UIF_CALL Shutdown() = 0;

protected:
    ~IUiKernel() = default;
};

// The export of UiFeatureKernel.dll (undecorated name "GetUiKernelInterface").
extern "C" typedef IUiKernel*(UIF_CALL* UifGetUiKernelInterfaceFn)();
inline constexpr char kUifKernelExport[] = "GetUiKernelInterface";
