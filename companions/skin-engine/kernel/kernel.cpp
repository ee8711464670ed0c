// The kernel object of UiFeatureKernel.dll: loads skins, opens skin windows, owns the engine services.
#include "companions/skin-engine/kernel/kernel.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>

#include "companions/skin-engine/core/effect_math.h"
#include "companions/skin-engine/kernel/automation_server.h"
#include "companions/skin-engine/kernel/engine_window.h"
#include "base/win/file_io.h"
#include "base/win/strings.h"

namespace uifeature {

void detail::GdiplusShutdownNoResult(ULONG_PTR token) noexcept { Gdiplus::GdiplusShutdown(token); }

namespace {

constexpr DWORD kMaxSkinBytes = 4u << 20;

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

std::wstring ModulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// Reads a whole file of at most limit bytes; false, with the reason, when it cannot be read or is larger.
bool ReadSkinFile(const std::wstring& path, std::uint64_t limit, std::string* out, std::string* why) {
    switch (TVSP::ReadWholeFile(path, limit, *out)) {
    case TVSP::FileReadResult::Ok: return true;
    case TVSP::FileReadResult::OpenFailed: *why = "cannot open (error " + std::to_string(::GetLastError()) + ")"; break;
    case TVSP::FileReadResult::TooLarge: *why = "larger than " + std::to_string(limit >> 10) + " KiB"; break;
    case TVSP::FileReadResult::ReadFailed: *why = "read failed"; break;
    }
    return false;
}

// A companion file is looked for beside the engine, then beside the running program (the
// installer copies some of them there).
std::wstring FindCompanion(const std::string& name) {
    const std::wstring wide = TVSP::Utf8ToWide(name);
    for (const std::wstring& folder : {KernelFolder(), FolderOf(ModulePath(nullptr))}) {
        const std::wstring path = folder + L"\\" + wide;
        if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return path;
    }
    return {};
}

}  // namespace

std::wstring KernelFolder() {
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&KernelFolder), &self);
    return FolderOf(ModulePath(self));
}

Kernel& Kernel::Instance() {
    // Never destroyed: skin windows may outlive every static destructor of the process.
    static Kernel* kernel = new Kernel();
    return *kernel;
}

void Kernel::Fail(const std::string& error) {
    Hold hold(lock_);
    lastError_ = error;
}

bool Kernel::EnsureStarted(std::string* error) {
    if (started_) return true;
    EngineConfig config;
    const std::wstring configPath = FindCompanion("UiFeature.xml");
    if (!configPath.empty()) {
        std::string text, why;
        if (!ReadSkinFile(configPath, 1u << 20, &text, &why)) return *error = "UiFeature.xml: " + why, false;
        if (!ParseEngineConfig(text, &config, &why)) return *error = "UiFeature.xml " + why, false;
    }
    const std::wstring controlsPath = FindCompanion(config.controlLibrary);
    TVSP::unique_hmodule controls(controlsPath.empty() ? nullptr : ::LoadLibraryW(controlsPath.c_str()));
    auto create = controls ? reinterpret_cast<UifCreateControlFn>(reinterpret_cast<void (*)()>(::GetProcAddress(controls.get(), kUifCreateControlExport))) : nullptr;
    if (!create) return *error = "cannot load the control library " + config.controlLibrary, false;
    TVSP::unique_hmodule effects;
    UifEffectApproachFn approach = nullptr;
    if (config.animations) {
        const std::wstring effectsPath = FindCompanion(config.effectLibrary);
        effects.reset(effectsPath.empty() ? nullptr : ::LoadLibraryW(effectsPath.c_str()));
        approach = effects ? reinterpret_cast<UifEffectApproachFn>(reinterpret_cast<void (*)()>(::GetProcAddress(effects.get(), kUifEffectApproachExport))) : nullptr;
        // Without the effect library controls still work; they jump instead of gliding.
    }
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return *error = "GDI+ cannot start", false;
    gdiplus_.reset(token);
    controls_ = std::move(controls);
    effects_ = std::move(effects);
    createControl_ = create;
    approach_.store(approach);
    config_ = config;
    faces_.clear();
    for (const std::string& face : config_.fontFaces) faces_.push_back(TVSP::Utf8ToWide(face));
    started_ = true;
    return true;
}

BOOL Kernel::HasEngineInstance() {
    Hold hold(lock_);
    return std::any_of(windows_.begin(), windows_.end(), [](EngineWindow* w) { return w->IsAttached(); });
}

IUiSkinWindow* Kernel::OpenSkinWindow(HWND host, const wchar_t* skinPath, const char* windowName) {
    if (!host || !::IsWindow(host) || !skinPath || !*skinPath || !windowName || !*windowName) {
        Fail("OpenSkinWindow: a window, a skin path and a window name are needed");
        return nullptr;
    }
    if (::GetWindowThreadProcessId(host, nullptr) != ::GetCurrentThreadId()) {
        Fail("OpenSkinWindow: call it on the host window's thread");
        return nullptr;
    }
    if (::GetPropW(host, L"UiFeatureEngineWindow")) {
        Fail("OpenSkinWindow: the window already shows a skin");
        return nullptr;
    }
    const std::string where = TVSP::WideToUtf8(skinPath);
    std::string text, why;
    if (!ReadSkinFile(skinPath, kMaxSkinBytes, &text, &why)) {
        Fail(where + ": " + why);
        return nullptr;
    }
    SkinParseResult skin = ParseSkin(text);
    if (!skin.ok) {
        Fail(where + " " + skin.error);
        return nullptr;
    }
    const SkinWindow* def = skin.document.FindSkinWindow(windowName);
    if (!def) {
        Fail(where + ": no window named '" + std::string(windowName) + "'");
        return nullptr;
    }

    std::string error;
    float scale;
    {
        Hold hold(lock_);
        if (!EnsureStarted(&error)) {
            lastError_ = error;
            return nullptr;
        }
        scale = static_cast<float>(GetScalePercent()) / 100.0f;
    }
    auto* window = new EngineWindow(*this, host, FolderOf(skinPath), scale);
    {
        Hold hold(lock_);
        windows_.push_back(window);
    }
    if (!window->Open(*def, &error)) {
        window->Release();
        Fail(where + " " + error);
        return nullptr;
    }
    {
        Hold hold(lock_);
        const size_t attached = std::count_if(windows_.begin(), windows_.end(), [](EngineWindow* w) { return w->IsAttached(); });
        if (attached == 1) skinPath_ = skinPath;
        lastError_.clear();
    }
    // The host shows the window once it has bound its controls (its creation finishes first).
    ::PostMessageW(host, UIF_WM_SHOW, 0, 0);
    StartAutomation();
    return window;
}

const wchar_t* Kernel::GetSkinPath() {
    Hold hold(lock_);
    const bool live = std::any_of(windows_.begin(), windows_.end(), [](EngineWindow* w) { return w->IsAttached(); });
    skinPathCopy_ = live ? skinPath_ : std::wstring();
    return skinPathCopy_.c_str();
}

void Kernel::Forget(EngineWindow* window) {
    Hold hold(lock_);
    windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
    // The last window is gone: stop drawing services too, so a host may unload the engine
    // without leaving GDI+ running from a library that is no longer there.
    if (windows_.empty()) StopLocked();
}

void Kernel::StopLocked() {
    if (!started_) return;
    gdiplus_.reset();
    approach_.store(nullptr);
    createControl_ = nullptr;
    effects_.reset();
    controls_.reset();
    started_ = false;
    skinPath_.clear();
}

void Kernel::Shutdown() {
    // The automation server first: it reads the windows about to go. Never under the kernel
    // lock, which the server thread takes to answer.
    AutomationServer* automation;
    {
        Hold hold(lock_);
        automation = automation_;
    }
    if (automation) automation->Stop();
    std::vector<EngineWindow*> windows;
    {
        Hold hold(lock_);
        windows = windows_;
    }
    for (EngineWindow* w : windows) w->Release();
    Hold hold(lock_);
    if (windows_.empty()) StopLocked();  // a window that did not let go keeps everything
}

const char* Kernel::GetLastError() {
    Hold hold(lock_);
    lastErrorCopy_ = lastError_;
    return lastErrorCopy_.c_str();
}

void Kernel::SetScaleOverride(int percent) {
    Hold hold(lock_);
    scaleOverride_ = std::clamp(percent, 0, 400);
}

int Kernel::GetScalePercent() {
    Hold hold(lock_);
    if (scaleOverride_ > 0) return scaleOverride_;
    const TVSP::unique_screen_dc screen(::GetDC(nullptr));
    const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSX) : 96;
    return std::max(100, (dpi * 100 + 48) / 96);
}

float Kernel::Approach(int effect, float current, float target, unsigned elapsedMs) {
    UifEffectApproachFn f = approach_.load();
    return f ? f(effect, current, target, elapsedMs) : target;
}

void Kernel::StartAutomation() {
    AutomationServer* automation;
    {
        Hold hold(lock_);
        if (!automation_) automation_ = new AutomationServer(*this);
        automation = automation_;
    }
    automation->StartIfWanted();
}

std::vector<automation::WindowInfo> Kernel::DescribeWindows(bool withControls) {
    std::vector<automation::WindowInfo> list;
    // The kernel lock keeps every listed window alive (Release leaves the list under it before
    // the object goes); each window's own lock keeps its tree whole while it is read.
    Hold hold(lock_);
    for (EngineWindow* w : windows_) {
        automation::WindowInfo info;
        if (w->Describe(&info, withControls)) list.push_back(std::move(info));
    }
    return list;
}

bool Kernel::RequestAction(const automation::Request& request, std::string* error) {
    Hold hold(lock_);
    for (EngineWindow* w : windows_) {
        automation::WindowInfo info;
        if (w->Describe(&info, false) && EqualsNoCase(info.name, request.window)) {
            return w->RequestAction(request.verb, request.control, error);
        }
    }
    *error = "no open window '" + request.window + "'";
    return false;
}

}  // namespace uifeature
