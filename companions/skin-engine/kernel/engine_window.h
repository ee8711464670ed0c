// One engine window: a skin's window attached to a host window, drawn with GDI+ into a back
// buffer, with mouse input, caption dragging, animation frames and thread-safe repaint requests.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>

#include "companions/skin-engine/core/skin_format.h"
#include "companions/skin-engine/kernel/kernel.h"
#include "companions/skin-engine/plugin_api.h"
#include "base/win/handle.h"

namespace uifeature {

class EngineWindow final : public IUiSkinWindow, public IControlHost {
public:
    EngineWindow(Kernel& kernel, HWND host, std::wstring skinFolder, float scale);

    // Window thread: creates the controls of def and hooks the host window. False with error
    // when a control cannot be made; the object is then released by the caller.
    bool Open(const SkinWindow& def, std::string* error);
    bool IsAttached() const { return hwnd_.load() != nullptr; }

    // Automation, from any thread. False when the window is not (or no longer) open.
    bool Describe(automation::WindowInfo* info, bool withControls);
    // Checks that the control can take the action as a mouse could and posts it to the window's
    // thread, which runs it as a mouse click; false with the reason when refused.
    bool RequestAction(automation::Verb verb, const std::string& control, std::string* error);

    // IUiSkinWindow
    IControlBase* UIF_CALL FindControl(const char* name) override;
    void UIF_CALL SetControlMessage(IControlMessage* receiver) override { receiver_.store(receiver); }
    void UIF_CALL GetNaturalSize(int* width, int* height) override;
    void UIF_CALL RedrawControl(IControlBase* control) override;
    const char* UIF_CALL GetName() override { return name_.c_str(); }
    HWND UIF_CALL GetHostWindow() override { return hwnd_.load(); }
    void UIF_CALL Release() override;

    // IControlHost
    void UIF_CALL Lock() override { lock_.Enter(); }
    void UIF_CALL Unlock() override { lock_.Leave(); }
    void UIF_CALL Invalidate(IControlNode* node) override;
    void UIF_CALL StartFrames() override;
    void UIF_CALL RequestSync() override;
    float UIF_CALL Approach(int effect, float current, float target, unsigned elapsedMs) override;
    void* UIF_CALL GetFont(int pixelHeight, BOOL bold, BOOL underline) override;
    const wchar_t* UIF_CALL GetFontFace() override { return fontFace_.c_str(); }
    const wchar_t* UIF_CALL GetSkinFolder() override { return folder_.c_str(); }
    HWND UIF_CALL GetWindow() override { return hwnd_.load(); }
    float UIF_CALL GetScale() override { return scale_; }
    int UIF_CALL GetEffectiveVisible(IControlNode* node) override;

private:
    ~EngineWindow();
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    IControlNode* BuildNode(IControlNode* parent, const SkinControl& def, std::string* error);
    void Paint();
    void PaintFrame(Gdiplus::Graphics& g);
    void PaintNode(Gdiplus::Graphics& g, IControlNode* node);
    IControlNode* HitNode(IControlNode* node, float x, float y, int* kind);
    IControlNode* HitAt(LPARAM clientPoint, int* kind);
    void SetHot(IControlNode* node);
    void Activate(IControlNode* node);
    void OnFrame();
    void SyncAll(IControlNode* node);
    bool CommandToChildren(IControlNode* node, HWND child, int code);
    void Teardown();  // window thread (or window gone): unhook, destroy controls, free GDI objects
    void DropBackBuffer();
    void DestroyTree(IControlNode* node);
    void DescribeNode(IControlNode* node, automation::ControlInfo* info);  // lock held

    Kernel& kernel_;
    std::atomic<HWND> hwnd_;
    WNDPROC original_ = nullptr;
    TVSP::unique_hmodule pin_;  // this module, held while the host window is hooked
    std::wstring folder_;
    float scale_;
    std::string name_;
    int width_ = 0, height_ = 0;
    Attributes look_;
    uint32_t background_ = 0xFFF4F6FAu, gradient_ = 0, border_ = 0, captionBackground_ = 0, captionColor_ = 0xFFFFFFFFu;
    int captionHeight_ = 0, fontSize_ = 13;
    std::wstring caption_;
    std::string icon_;
    IControlNode* root_ = nullptr;
    std::atomic<bool> opened_{false};        // the tree is complete and the window hooked
    std::set<IControlNode*> skinDisabled_;   // enabled="false" in the skin (kinds without a setter keep it)

    Lockable lock_;
    std::atomic<IControlMessage*> receiver_{nullptr};
    std::atomic<bool> framesWanted_{false}, syncPending_{false};
    bool timerOn_ = false, tracking_ = false, hasNative_ = false;
    DWORD lastFrame_ = 0;
    IControlNode* hot_ = nullptr;      // window thread
    IControlNode* pressed_ = nullptr;  // window thread

    // The back buffer: a bitmap selected into a memory DC. The DC is declared after the bitmap,
    // so it goes first and the bitmap is no longer selected anywhere when it goes.
    TVSP::unique_hbitmap buffer_;
    TVSP::unique_hdc bufferDc_;
    HGDIOBJ bufferOld_ = nullptr;  // the DC's own bitmap, selected back before the DC goes
    SIZE bufferSize_{};
    TVSP::unique_hdc fontDc_;
    std::map<std::tuple<int, bool, bool>, std::unique_ptr<Gdiplus::Font>> fonts_;  // null: no font
    std::wstring fontFace_;
    TVSP::unique_hbrush editBrush_;
};

}  // namespace uifeature
