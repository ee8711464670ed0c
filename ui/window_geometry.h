// Pure window arithmetic of the framework: centring on the work area and the ready-event name.
#pragma once

#include <cstdint>
#include <string>

namespace TVSP {

struct ScreenRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// A window of width w and height h centred on the work area (integer division, as the window
// framework does it): left = work.left + (work width - w) / 2, likewise top.
ScreenRect CentreOnWorkArea(const ScreenRect& work, int w, int h);

// True when a stored rectangle gives no size, so the skin's natural size is used.
bool HasNoSize(const ScreenRect& r);

// "UI_FEATURE_%08X%04X%04X%02X..." from a GUID's fields (Data1, Data2, Data3, Data4[0..7]).
std::wstring ReadyEventName(uint32_t data1, uint16_t data2, uint16_t data3, const uint8_t data4[8]);

}  // namespace TVSP
