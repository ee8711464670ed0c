// Contract between the engine's own DLLs: the kernel hosts controls made by UiFeatureNormalControl.dll
// and asks UiFeatureEffect.dll for animation steps. Plain C types only; each DLL has its own runtime.
#pragma once

#include "uifeature/ui_kernel.h"

class IControlNode;

// What the kernel hands to Paint. World units of the graphics are 96-DPI units of the window.
struct UifPaintContext {
    void* graphics;  // Gdiplus::Graphics* of the back buffer, anti-aliased, scaled to the display
    float x, y, w, h;  // the control's rectangle in window units
    int hot;        // the mouse is over the control
    int pressed;    // the left button went down on it and is still held over it
};

// One per skin window, implemented by the kernel.
class IControlHost {
public:
    // The window's state lock: every control field that setters change is read and written under it.
    virtual void UIF_CALL Lock() = 0;
    virtual void UIF_CALL Unlock() = 0;
    // Any thread: schedule a repaint of the node's area through the window (never paints here).
    virtual void UIF_CALL Invalidate(IControlNode* node) = 0;
    // Any thread: the node wants Tick calls until it reports it is done.
    virtual void UIF_CALL StartFrames() = 0;
    // Any thread: native child windows must be brought in line on the window's thread.
    virtual void UIF_CALL RequestSync() = 0;
    // Animation step from the effect library (EffectKind values); jumps to target without it.
    virtual float UIF_CALL Approach(int effect, float current, float target, unsigned elapsedMs) = 0;
    // Window thread, while painting: a Gdiplus::Font* of that pixel height (96-DPI units) with the
    // configured face or its fallbacks; owned by the host.
    virtual void* UIF_CALL GetFont(int pixelHeight, BOOL bold, BOOL underline) = 0;
    virtual const wchar_t* UIF_CALL GetFontFace() = 0;  // the face the GDI+ font really got
    virtual const wchar_t* UIF_CALL GetSkinFolder() = 0;  // no trailing backslash
    virtual HWND UIF_CALL GetWindow() = 0;               // null once the window is gone
    virtual float UIF_CALL GetScale() = 0;               // pixels per window unit
    virtual int UIF_CALL GetEffectiveVisible(IControlNode* node) = 0;  // it and all its parents shown

protected:
    ~IControlHost() = default;
};

// The kernel's view of a control.
class IControlNode {
public:
    enum HitKind { HitNone = 0, HitSolid = 1, HitClick = 2, HitDrag = 3 };

    virtual IControlBase* UIF_CALL Face() = 0;
    // Load time, before Prepare: one skin attribute (UTF-8, already validated).
    virtual BOOL UIF_CALL SetAttribute(const char* key, const char* value) = 0;
    // Adds child as the last child and makes this node its parent.
    virtual void UIF_CALL AppendChild(IControlNode* child) = 0;
    virtual void UIF_CALL SetParent(IControlNode* parent) = 0;
    // Window thread, after the attributes and children: load images, create native parts.
    // False leaves the control unusable (it is still destroyed normally).
    virtual BOOL UIF_CALL Prepare() = 0;
    virtual int UIF_CALL ChildCount() = 0;
    virtual IControlNode* UIF_CALL ChildAt(int index) = 0;
    virtual IControlNode* UIF_CALL Parent() = 0;
    // Absolute rectangle in window units (fixed after load).
    virtual void UIF_CALL GetUnitRect(float* x, float* y, float* w, float* h) = 0;
    // Lock held from here on.
    virtual BOOL UIF_CALL IsShown() = 0;
    virtual int UIF_CALL GetHitKind() = 0;
    virtual void UIF_CALL Paint(const UifPaintContext* context) = 0;
    virtual void UIF_CALL SetMouseState(BOOL hot, BOOL pressed) = 0;
    // The mouse was released over the control it went down on: change state, give the control
    // message to send (0 for none) and its values. A UIF_WM_SYSCOMMAND code asks the kernel to
    // send that window message with value1 as the command instead.
    virtual int UIF_CALL Activate(WPARAM* value1, LPARAM* value2) = 0;
    virtual BOOL UIF_CALL Tick(unsigned elapsedMs) = 0;  // true while still animating
    virtual BOOL UIF_CALL WantsHandCursor() = 0;
    // Window thread, lock NOT held: native child windows follow the control's state.
    virtual void UIF_CALL Sync() = 0;
    // Window thread, lock NOT held: a WM_COMMAND from a native child; true when it was ours.
    virtual BOOL UIF_CALL OnCommand(HWND child, int notifyCode) = 0;
    // Window thread (or after the window is gone): frees the node; children are destroyed first.
    virtual void UIF_CALL Destroy() = 0;

protected:
    ~IControlNode() = default;
};

// Exports of UiFeatureNormalControl.dll and UiFeatureEffect.dll (undecorated names via .def).
extern "C" typedef IControlNode*(UIF_CALL* UifCreateControlFn)(int kind, const char* name, IControlHost* host);
extern "C" typedef float(UIF_CALL* UifEffectApproachFn)(int effect, float current, float target, unsigned elapsedMs);
inline constexpr char kUifCreateControlExport[] = "UifCreateControl";
inline constexpr char kUifEffectApproachExport[] = "UifEffectApproach";
