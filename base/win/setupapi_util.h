// Setup-API helpers: owners for device information sets, INF files and device keys, and property readers.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <cwchar>
#include <string>
#include <vector>

#include "base/win/handle.h"

namespace TVSP {

namespace detail {
inline HDEVINFO InvalidDevInfo() noexcept { return INVALID_HANDLE_VALUE; }
inline void DestroyDevInfoListNoResult(HDEVINFO set) noexcept { ::SetupDiDestroyDeviceInfoList(set); }
inline HINF InvalidInf() noexcept { return INVALID_HANDLE_VALUE; }
inline void CloseInfNoResult(HINF inf) noexcept { ::SetupCloseInfFile(inf); }
}  // namespace detail

// A device information set; SetupDiGetClassDevs and SetupDiCreateDeviceInfoList fail with
// INVALID_HANDLE_VALUE.
using unique_hdevinfo = unique_any<HDEVINFO, detail::DestroyDevInfoListNoResult, detail::InvalidDevInfo>;
// An INF file from SetupOpenInfFileW, which fails with INVALID_HANDLE_VALUE.
using unique_hinf = unique_any<HINF, detail::CloseInfNoResult, detail::InvalidInf>;

// Owns a key from SetupDiOpenDevRegKey or SetupDiCreateDevRegKey, which report failure as
// INVALID_HANDLE_VALUE rather than null.
inline unique_hkey AdoptDevRegKey(HKEY key) noexcept {
    return unique_hkey(key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE) ? nullptr : key);
}

// The strings of a REG_MULTI_SZ device property (a REG_SZ one gives its one string), up to the
// first empty one; empty when the property is absent or of another type.
inline std::vector<std::wstring> ReadMultiSzProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property) {
    DWORD type = 0;
    DWORD size = 0;
    ::SetupDiGetDeviceRegistryPropertyW(set, device, property, &type, nullptr, 0, &size);
    if (size == 0) return {};
    // Two spare characters so a list stored without its final terminators still ends.
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    if (!::SetupDiGetDeviceRegistryPropertyW(set, device, property, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                             size, nullptr) ||
        (type != REG_MULTI_SZ && type != REG_SZ))
        return {};
    std::vector<std::wstring> strings;
    for (const wchar_t* p = buffer.data(); *p; p += std::wcslen(p) + 1) strings.emplace_back(p);
    return strings;
}

// A REG_SZ value read whole, without trailing terminators; empty when absent or of another type.
inline std::wstring ReadRegString(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) return {};
    // One spare character: the stored value need not end with a terminator.
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
        return {};
    value.resize(size / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    return value;
}

}  // namespace TVSP
