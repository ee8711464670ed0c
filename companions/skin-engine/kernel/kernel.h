// The kernel object of UiFeatureKernel.dll: loads skins, opens skin windows, owns the engine services.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "companions/skin-engine/core/automation_protocol.h"
#include "companions/skin-engine/core/engine_config.h"
#include "companions/skin-engine/core/skin_format.h"
#include "companions/skin-engine/plugin_api.h"
#include "base/win/handle.h"

namespace uifeature {

class AutomationServer;
class EngineWindow;

// A CRITICAL_SECTION (recursive, available on every Windows) with scoped holding.
class Lockable {
public:
    Lockable() { ::InitializeCriticalSection(&cs_); }
    ~Lockable() { ::DeleteCriticalSection(&cs_); }
    Lockable(const Lockable&) = delete;
    Lockable& operator=(const Lockable&) = delete;
    void Enter() { ::EnterCriticalSection(&cs_); }
    void Leave() { ::LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};

class Hold {
public:
    explicit Hold(Lockable& l) : l_(l) { l_.Enter(); }
    ~Hold() { l_.Leave(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    Lockable& l_;
};

namespace detail {
void GdiplusShutdownNoResult(ULONG_PTR token) noexcept;
inline ULONG_PTR NoGdiplusToken() noexcept { return 0; }
}  // namespace detail
// A started GDI+ (its GdiplusStartup token): shut down when the owner lets go.
using unique_gdiplus = TVSP::unique_any<ULONG_PTR, detail::GdiplusShutdownNoResult, detail::NoGdiplusToken>;

class Kernel final : public IUiKernel, public IUiEngine {
public:
    static Kernel& Instance();

    // IUiKernel
    IUiEngine* UIF_CALL GetEngine() override { return this; }
    BOOL UIF_CALL HasEngineInstance() override;
    IUiSkinWindow* UIF_CALL OpenSkinWindow(HWND host, const wchar_t* skinPath, const char* windowName) override;
    const wchar_t* UIF_CALL GetSkinPath() override;
    void UIF_CALL Shutdown() override;

    // IUiEngine
    int UIF_CALL GetVersion() override { return 0x0100; }
    const char* UIF_CALL GetLastError() override;
    void UIF_CALL SetScaleOverride(int percent) override;
    int UIF_CALL GetScalePercent() override;

    // For skin windows.
    float Approach(int effect, float current, float target, unsigned elapsedMs);
    const EngineConfig& Config() const { return config_; }
    const std::vector<std::wstring>& FontFaces() const { return faces_; }
    UifCreateControlFn ControlFactory() const { return createControl_; }
    void Forget(EngineWindow* window);  // a window released itself

    // Automation (any thread): the server runs while TVSP_AUTOMATION names a pipe, from the
    // first GetUiKernelInterface or skin window on, until Shutdown.
    void StartAutomation();
    // The open skin windows in the order they were opened; their control trees when asked.
    std::vector<automation::WindowInfo> DescribeWindows(bool withControls);
    // Checks a click, choose or toggle against the first open window of that name and hands it
    // to the window's thread; false with a one-line reason when it is refused.
    bool RequestAction(const automation::Request& request, std::string* error);

private:
    Kernel() = default;
    bool EnsureStarted(std::string* error);  // kernel lock held
    void Fail(const std::string& error);
    void StopLocked();  // kernel lock held: GDI+ and the companion libraries go

    Lockable lock_;
    bool started_ = false;
    unique_gdiplus gdiplus_;
    TVSP::unique_hmodule controls_, effects_;
    UifCreateControlFn createControl_ = nullptr;
    std::atomic<UifEffectApproachFn> approach_{nullptr};
    EngineConfig config_;
    std::vector<std::wstring> faces_;
    std::vector<EngineWindow*> windows_;
    std::wstring skinPath_, skinPathCopy_;
    std::string lastError_, lastErrorCopy_;
    int scaleOverride_ = 0;
    AutomationServer* automation_ = nullptr;  // made once, never destroyed, like the kernel
};

// The folder of this DLL, without a trailing backslash.
std::wstring KernelFolder();

}  // namespace uifeature
