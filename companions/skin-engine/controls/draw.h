// Drawing helpers of the control library: GDI+ shapes, colours and the built-in vector pictures.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>

namespace uifeature::draw {

// A rectangle with rounded corners (radius clamped to half the shorter side).
void AddRoundRect(Gdiplus::GraphicsPath& path, const Gdiplus::RectF& r, float radius);
void FillRoundRect(Gdiplus::Graphics& g, const Gdiplus::RectF& r, float radius, uint32_t argb);
void StrokeRoundRect(Gdiplus::Graphics& g, const Gdiplus::RectF& r, float radius, uint32_t argb, float width);

// Colour arithmetic on 0xAARRGGBB values.
uint32_t WithAlpha(uint32_t argb, float factor);         // alpha scaled by factor
uint32_t Mix(uint32_t a, uint32_t b, float t);           // a..b, t in 0..1
uint32_t Lighter(uint32_t argb, float amount);           // towards white
uint32_t Darker(uint32_t argb, float amount);            // towards black

// Draws a built-in picture (names as the skin format lists them) fitted into box. state picks a
// step of animated pictures ("repair", "spinner"); states is how many steps make a full turn.
// tint is the accent colour; dim draws it faded (disabled).
void DrawPicture(Gdiplus::Graphics& g, const char* name, const Gdiplus::RectF& box, int state, int states,
                 uint32_t tint, bool dim);

}  // namespace uifeature::draw
