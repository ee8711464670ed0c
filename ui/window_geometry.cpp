// Pure window arithmetic of the framework: centring on the work area and the ready-event name.
#include "ui/window_geometry.h"

#include <cwchar>

namespace TVSP {

ScreenRect CentreOnWorkArea(const ScreenRect& work, int w, int h) {
    // 64-bit intermediate: a hostile or broken skin size must not overflow the subtraction.
    const long long left = work.left + (static_cast<long long>(work.right) - work.left - w) / 2;
    const long long top = work.top + (static_cast<long long>(work.bottom) - work.top - h) / 2;
    ScreenRect r;
    r.left = static_cast<int>(left);
    r.top = static_cast<int>(top);
    r.right = static_cast<int>(left + w);
    r.bottom = static_cast<int>(top + h);
    return r;
}

bool HasNoSize(const ScreenRect& r) {
    return static_cast<long long>(r.right) - r.left < 1 || static_cast<long long>(r.bottom) - r.top < 1;
}

std::wstring ReadyEventName(uint32_t data1, uint16_t data2, uint16_t data3, const uint8_t data4[8]) {
    wchar_t buf[64];
    std::swprintf(buf, sizeof buf / sizeof buf[0], L"UI_FEATURE_%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
                  static_cast<unsigned>(data1), static_cast<unsigned>(data2), static_cast<unsigned>(data3),
                  data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6], data4[7]);
    return buf;
}

}  // namespace TVSP
