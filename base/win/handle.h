// Move-only owners for Win32 handles, keys, modules, find handles, GDI objects and COM pointers.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace TVSP {

// One owner template; the invalid value and the close function are part of the type.
template <typename T, auto Close, auto InvalidFn>
class unique_any {
public:
    unique_any() noexcept {}
    explicit unique_any(T value) noexcept : value_(value) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~unique_any() { reset(); }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != InvalidFn(); }
    [[nodiscard]] T release() noexcept { return std::exchange(value_, InvalidFn()); }
    // Keeps the thread's last error across the close, so a caller that resets on a failure path
    // still reports the error of the call that failed.
    void reset(T value = InvalidFn()) noexcept {
        T old = std::exchange(value_, value);
        if (old != InvalidFn()) {
            const DWORD lastError = ::GetLastError();
            Close(old);
            ::SetLastError(lastError);
        }
    }
    // For out-parameters: releases what is held and hands out the slot.
    T* put() noexcept {
        reset();
        return &value_;
    }

private:
    T value_ = InvalidFn();
};

namespace detail {
inline HANDLE NullHandle() noexcept { return nullptr; }
inline HANDLE InvalidHandle() noexcept { return INVALID_HANDLE_VALUE; }
inline HKEY NullKey() noexcept { return nullptr; }
inline HMODULE NullModule() noexcept { return nullptr; }
inline void CloseHandleNoResult(HANDLE h) noexcept { ::CloseHandle(h); }
inline void RegCloseKeyNoResult(HKEY k) noexcept { ::RegCloseKey(k); }
inline void FreeLibraryNoResult(HMODULE m) noexcept { ::FreeLibrary(m); }
inline void FindCloseNoResult(HANDLE h) noexcept { ::FindClose(h); }
inline void CloseServiceHandleNoResult(SC_HANDLE h) noexcept { ::CloseServiceHandle(h); }
inline void ReleaseMutexAndClose(HANDLE h) noexcept {
    ::ReleaseMutex(h);
    ::CloseHandle(h);
}
template <typename T>
T Null() noexcept {
    return nullptr;
}
inline void DeleteDcNoResult(HDC dc) noexcept { ::DeleteDC(dc); }
inline void ReleaseScreenDcNoResult(HDC dc) noexcept { ::ReleaseDC(nullptr, dc); }
template <typename T>
void DeleteGdiObjectNoResult(T object) noexcept {
    ::DeleteObject(object);
}
}  // namespace detail

using unique_handle = unique_any<HANDLE, detail::CloseHandleNoResult, detail::NullHandle>;
using unique_hfile = unique_any<HANDLE, detail::CloseHandleNoResult, detail::InvalidHandle>;
using unique_hkey = unique_any<HKEY, detail::RegCloseKeyNoResult, detail::NullKey>;
using unique_hmodule = unique_any<HMODULE, detail::FreeLibraryNoResult, detail::NullModule>;
using unique_hfind = unique_any<HANDLE, detail::FindCloseNoResult, detail::InvalidHandle>;
// A service control manager or service handle (advapi32).
using unique_schandle = unique_any<SC_HANDLE, detail::CloseServiceHandleNoResult, detail::Null<SC_HANDLE>>;
// A mutex this thread owns: released and closed together.
using unique_mutex_lock = unique_any<HANDLE, detail::ReleaseMutexAndClose, detail::NullHandle>;

// GDI (gdi32/user32): a DC made with CreateCompatibleDC/CreateDC, the screen's DC from
// GetDC(nullptr), and drawing objects (bitmap, brush, font, ...). A drawing object must not be
// selected into a DC when its owner lets go: select the old object back, or let the DC go first.
using unique_hdc = unique_any<HDC, detail::DeleteDcNoResult, detail::Null<HDC>>;
using unique_screen_dc = unique_any<HDC, detail::ReleaseScreenDcNoResult, detail::Null<HDC>>;
template <typename T>
using unique_gdi_object = unique_any<T, detail::DeleteGdiObjectNoResult<T>, detail::Null<T>>;
using unique_hbitmap = unique_gdi_object<HBITMAP>;
using unique_hbrush = unique_gdi_object<HBRUSH>;
using unique_hfont = unique_gdi_object<HFONT>;

// COM interface pointer: releases its reference.
template <typename I>
class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;
    com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    com_ptr& operator=(com_ptr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    ~com_ptr() { reset(); }
    I* get() const noexcept { return p_; }
    I* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    void reset() noexcept {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    I** put() noexcept {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

private:
    I* p_ = nullptr;
};

// CoInitialize/CoUninitialize for the life of a scope.
class com_apartment {
public:
    explicit com_apartment(DWORD model = COINIT_APARTMENTTHREADED) noexcept
        : hr_(::CoInitializeEx(nullptr, model)) {}
    com_apartment(const com_apartment&) = delete;
    com_apartment& operator=(const com_apartment&) = delete;
    ~com_apartment() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    HRESULT result() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

}  // namespace TVSP
