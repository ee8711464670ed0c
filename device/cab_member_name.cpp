// Which cabinet member names may be written under a destination folder.
#include "device/cab_member_name.h"

#include <cstdint>

namespace TVSP {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c; }

bool EqualsAsciiNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

// Windows drops trailing dots and spaces from a component, so ". ", "..." or ".. " can end up
// meaning "." or "..": only components with some other character are names.
bool IsDotsAndSpacesOnly(std::wstring_view component) {
    for (wchar_t c : component) {
        if (c != L'.' && c != L' ') return false;
    }
    return true;
}

// "CON", "nul.txt", "COM1 " and the like open a device instead of a file in any folder.
bool IsReservedDeviceName(std::wstring_view component) {
    std::wstring_view base = component.substr(0, component.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
    for (std::wstring_view device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (EqualsAsciiNoCase(base, device)) return true;
    }
    if (base.size() == 4 && (EqualsAsciiNoCase(base.substr(0, 3), L"COM") ||
                             EqualsAsciiNoCase(base.substr(0, 3), L"LPT"))) {
        return base[3] >= L'1' && base[3] <= L'9';
    }
    return false;
}

bool IsSafeComponent(std::wstring_view component) {
    return !component.empty() && !IsDotsAndSpacesOnly(component) && !IsReservedDeviceName(component);
}

}  // namespace

bool IsSafeCabMemberName(std::wstring_view name) {
    if (name.empty() || IsSeparator(name.front())) return false;  // rooted, or UNC
    for (wchar_t c : name) {
        // A colon makes a drive ("C:x") or a stream ("a:b"); control characters (the zero byte
        // included) cut or corrupt the name on its way to the file system.
        if (c == L':' || static_cast<std::uint32_t>(c) < 0x20u) return false;
    }
    std::size_t start = 0;
    for (;;) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        if (!IsSafeComponent(name.substr(start, end - start))) return false;
        if (end == name.size()) return true;
        start = end + 1;
    }
}

}  // namespace TVSP
