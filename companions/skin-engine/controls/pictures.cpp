// Drawing helpers of the control library: GDI+ shapes, colours and the built-in vector pictures.
#include "companions/skin-engine/controls/draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace uifeature::draw {

using namespace Gdiplus;

namespace {

Color C(uint32_t argb) { return Color(static_cast<ARGB>(argb)); }

uint32_t Channel(uint32_t argb, int shift) { return (argb >> shift) & 0xFF; }

uint32_t Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

void FillCircle(Graphics& g, float cx, float cy, float r, uint32_t argb) {
    SolidBrush b(C(argb));
    g.FillEllipse(&b, cx - r, cy - r, 2 * r, 2 * r);
}

void Line(Graphics& g, float x1, float y1, float x2, float y2, uint32_t argb, float w) {
    Pen p(C(argb), w);
    p.SetStartCap(LineCapRound);
    p.SetEndCap(LineCapRound);
    g.DrawLine(&p, x1, y1, x2, y2);
}

void CheckMark(Graphics& g, float cx, float cy, float s, uint32_t argb, float w) {
    Pen p(C(argb), w);
    p.SetStartCap(LineCapRound);
    p.SetEndCap(LineCapRound);
    p.SetLineJoin(LineJoinRound);
    const PointF pts[] = {{cx - 0.5f * s, cy + 0.02f * s}, {cx - 0.14f * s, cy + 0.36f * s}, {cx + 0.52f * s, cy - 0.34f * s}};
    g.DrawLines(&p, pts, 3);
}

// The kids' watch: strap, rounded case, a screen with a face. mood: 0 happy, 1 asleep (grey).
void Watch(Graphics& g, uint32_t tint, int mood) {
    const bool asleep = mood == 1;
    const uint32_t body = asleep ? 0xFFB4BCCAu : tint;
    const uint32_t strap = asleep ? 0xFF9AA3B2u : Darker(tint, 0.25f);
    // Strap, behind the case, with a few holes.
    FillRoundRect(g, RectF(33, 2, 34, 30), 8, strap);
    FillRoundRect(g, RectF(33, 68, 34, 30), 8, strap);
    for (float y : {80.0f, 88.0f}) FillCircle(g, 50, y, 2.2f, Lighter(strap, 0.45f));
    // Case with a soft highlight, side button.
    FillRoundRect(g, RectF(94 - 76, 20, 64, 60), 18, Darker(body, 0.12f));
    FillRoundRect(g, RectF(19, 19, 62, 58), 17, body);
    {
        GraphicsPath shine;
        AddRoundRect(shine, RectF(23, 22, 54, 24), 12);
        LinearGradientBrush b(PointF(0, 22), PointF(0, 46), C(WithAlpha(0xFFFFFFFFu, 0.35f)),
                              C(WithAlpha(0xFFFFFFFFu, 0.0f)));
        g.FillPath(&b, &shine);
    }
    FillRoundRect(g, RectF(80, 40, 6, 16), 3, Darker(body, 0.2f));
    // Screen.
    const uint32_t screen = asleep ? 0xFF5B6474u : 0xFF1E2A44u;
    FillRoundRect(g, RectF(27, 28, 46, 42), 11, screen);
    const uint32_t face = asleep ? 0xFFD5DAE3u : 0xFFFFD54Fu;
    if (asleep) {
        Line(g, 38, 45, 45, 45, face, 3.2f);
        Line(g, 55, 45, 62, 45, face, 3.2f);
        Line(g, 45, 58, 55, 58, face, 3.2f);
    } else {
        FillCircle(g, 41, 44, 3.6f, face);
        FillCircle(g, 59, 44, 3.6f, face);
        Pen p(C(face), 3.4f);
        p.SetStartCap(LineCapRound);
        p.SetEndCap(LineCapRound);
        g.DrawArc(&p, 40.0f, 44.0f, 20.0f, 15.0f, 25.0f, 130.0f);
        FillCircle(g, 34, 54, 3.2f, WithAlpha(0xFFFF7A90u, 0.7f));  // cheeks
        FillCircle(g, 66, 54, 3.2f, WithAlpha(0xFFFF7A90u, 0.7f));
    }
}

void Badge(Graphics& g, uint32_t colour, bool check) {
    FillCircle(g, 78, 78, 17, 0xFFFFFFFFu);
    FillCircle(g, 78, 78, 14, colour);
    if (check) {
        CheckMark(g, 78, 78, 14, 0xFFFFFFFFu, 4);
    } else {
        Line(g, 71, 71, 85, 85, 0xFFFFFFFFu, 4);
        Line(g, 85, 71, 71, 85, 0xFFFFFFFFu, 4);
    }
}

void Gear(Graphics& g, float cx, float cy, float r, float angle, uint32_t colour) {
    GraphicsPath path;
    const int teeth = 8;
    std::vector<PointF> pts;
    for (int i = 0; i < teeth * 4; ++i) {
        const float a = (angle + i * (360.0f / (teeth * 4))) * 3.14159265f / 180.0f;
        const float rr = (i % 4 == 0 || i % 4 == 1) ? r : r * 0.78f;
        pts.emplace_back(cx + rr * std::cos(a), cy + rr * std::sin(a));
    }
    path.AddPolygon(pts.data(), static_cast<INT>(pts.size()));
    path.AddEllipse(cx - r * 0.36f, cy - r * 0.36f, r * 0.72f, r * 0.72f);  // hole (alternate fill)
    SolidBrush b(C(colour));
    g.FillPath(&b, &path);
}

}  // namespace

void AddRoundRect(GraphicsPath& path, const RectF& r, float radius) {
    const float rad = std::max(0.0f, std::min(radius, std::min(r.Width, r.Height) / 2));
    if (rad < 0.5f) {
        path.AddRectangle(r);
        return;
    }
    const float d = rad * 2;
    path.StartFigure();
    path.AddArc(r.X, r.Y, d, d, 180, 90);
    path.AddArc(r.X + r.Width - d, r.Y, d, d, 270, 90);
    path.AddArc(r.X + r.Width - d, r.Y + r.Height - d, d, d, 0, 90);
    path.AddArc(r.X, r.Y + r.Height - d, d, d, 90, 90);
    path.CloseFigure();
}

void FillRoundRect(Graphics& g, const RectF& r, float radius, uint32_t argb) {
    if (Channel(argb, 24) == 0 || r.Width <= 0 || r.Height <= 0) return;
    GraphicsPath path;
    AddRoundRect(path, r, radius);
    SolidBrush b(C(argb));
    g.FillPath(&b, &path);
}

void StrokeRoundRect(Graphics& g, const RectF& r, float radius, uint32_t argb, float width) {
    if (Channel(argb, 24) == 0 || r.Width <= 0 || r.Height <= 0) return;
    GraphicsPath path;
    // Inset by half the pen so the line stays inside and lands on pixel centres.
    const RectF in(r.X + width / 2, r.Y + width / 2, r.Width - width, r.Height - width);
    AddRoundRect(path, in, std::max(0.0f, radius - width / 2));
    Pen p(C(argb), width);
    g.DrawPath(&p, &path);
}

uint32_t WithAlpha(uint32_t argb, float factor) {
    const float a = std::clamp(Channel(argb, 24) * factor, 0.0f, 255.0f);
    return (argb & 0x00FFFFFFu) | (static_cast<uint32_t>(a + 0.5f) << 24);
}

uint32_t Mix(uint32_t a, uint32_t b, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    auto m = [&](int shift) {
        return static_cast<uint32_t>(Channel(a, shift) + (static_cast<float>(Channel(b, shift)) - Channel(a, shift)) * t + 0.5f);
    };
    return Pack(m(24), m(16), m(8), m(0));
}

uint32_t Lighter(uint32_t argb, float amount) { return Mix(argb, (argb & 0xFF000000u) | 0xFFFFFFu, amount); }
uint32_t Darker(uint32_t argb, float amount) { return Mix(argb, argb & 0xFF000000u, amount); }

void DrawPicture(Graphics& g, const char* name, const RectF& box, int state, int states, uint32_t tint, bool dim) {
    if (!name || box.Width <= 0 || box.Height <= 0) return;
    if (dim) tint = Mix(tint, 0xFFB0B8C4u, 0.7f);
    const GraphicsState saved = g.Save();
    const float side = std::min(box.Width, box.Height);
    g.TranslateTransform(box.X + box.Width / 2, box.Y + box.Height / 2);
    g.ScaleTransform(side / 100.0f, side / 100.0f);
    g.TranslateTransform(-50, -50);
    const float turn = states > 0 ? 360.0f * static_cast<float>(state % states) / static_cast<float>(states) : 0.0f;

    if (!std::strcmp(name, "watch")) {
        Watch(g, tint, 0);
    } else if (!std::strcmp(name, "watch-off")) {
        Watch(g, tint, 1);
        Badge(g, 0xFFF25A5Au, false);
    } else if (!std::strcmp(name, "watch-ok")) {
        Watch(g, tint, 0);
        Badge(g, 0xFF22B573u, true);
    } else if (!std::strcmp(name, "usb")) {
        FillRoundRect(g, RectF(34, 40, 32, 40), 6, tint);
        FillRoundRect(g, RectF(38, 14, 24, 28), 3, Lighter(tint, 0.6f));
        FillRoundRect(g, RectF(43, 22, 5, 6), 1, tint);
        FillRoundRect(g, RectF(52, 22, 5, 6), 1, tint);
        FillRoundRect(g, RectF(45, 80, 10, 14), 3, Darker(tint, 0.2f));
    } else if (!std::strcmp(name, "phone") || !std::strcmp(name, "phone-link")) {
        FillRoundRect(g, RectF(28, 6, 44, 88), 10, tint);
        FillRoundRect(g, RectF(32, 16, 36, 64), 3, 0xFFFFFFFFu);
        FillCircle(g, 50, 87, 3.5f, 0xFFFFFFFFu);
        if (name[5] == '-') Badge(g, 0xFF22B573u, true);
    } else if (!std::strcmp(name, "check")) {
        FillCircle(g, 50, 50, 46, 0xFF22B573u);
        CheckMark(g, 50, 50, 46, 0xFFFFFFFFu, 9);
    } else if (!std::strcmp(name, "warning")) {
        GraphicsPath tri;
        const PointF pts[] = {{50, 6}, {96, 90}, {4, 90}};
        tri.AddPolygon(pts, 3);
        Pen edge(C(0xFFF5A623u), 10);
        edge.SetLineJoin(LineJoinRound);
        SolidBrush fill(C(0xFFF5A623u));
        g.FillPath(&fill, &tri);
        g.DrawPath(&edge, &tri);
        Line(g, 50, 34, 50, 62, 0xFFFFFFFFu, 9);
        FillCircle(g, 50, 78, 5.5f, 0xFFFFFFFFu);
    } else if (!std::strcmp(name, "info")) {
        FillCircle(g, 50, 50, 46, tint);
        Line(g, 50, 45, 50, 74, 0xFFFFFFFFu, 10);
        FillCircle(g, 50, 28, 6.5f, 0xFFFFFFFFu);
    } else if (!std::strcmp(name, "rocket")) {
        g.TranslateTransform(50, 50);
        g.RotateTransform(45);
        g.TranslateTransform(-50, -50);
        GraphicsPath flame;
        flame.AddEllipse(40.0f, 70.0f, 20.0f, 26.0f);
        SolidBrush fb(C(0xFFFF8A3Du));
        g.FillPath(&fb, &flame);
        FillCircle(g, 50, 80, 6, 0xFFFFD54Fu);
        GraphicsPath body;
        body.AddBezier(50.0f, 4.0f, 74.0f, 22.0f, 68.0f, 60.0f, 64.0f, 76.0f);
        body.AddLine(64.0f, 76.0f, 36.0f, 76.0f);
        body.AddBezier(36.0f, 76.0f, 32.0f, 60.0f, 26.0f, 22.0f, 50.0f, 4.0f);
        SolidBrush bb(C(0xFFF4F6FAu));
        g.FillPath(&bb, &body);
        FillRoundRect(g, RectF(24, 56, 12, 22), 5, tint);
        FillRoundRect(g, RectF(64, 56, 12, 22), 5, tint);
        FillCircle(g, 50, 38, 8, tint);
        FillCircle(g, 50, 38, 5, 0xFFBFE3FFu);
    } else if (!std::strcmp(name, "repair")) {
        Gear(g, 42, 54, 34, turn, tint);
        g.TranslateTransform(70, 30);
        g.RotateTransform(-45);
        FillRoundRect(g, RectF(-5, -4, 10, 48), 5, 0xFF5B6B85u);
        FillCircle(g, 0, -6, 13, 0xFF5B6B85u);
        FillRoundRect(g, RectF(-4.5f, -22, 9, 16), 2, 0xFFFFFFFFu);
    } else if (!std::strcmp(name, "spinner")) {
        Pen track(C(WithAlpha(tint, 0.18f)), 10);
        g.DrawEllipse(&track, 10.0f, 10.0f, 80.0f, 80.0f);
        Pen arc(C(tint), 10);
        arc.SetStartCap(LineCapRound);
        arc.SetEndCap(LineCapRound);
        g.DrawArc(&arc, 10.0f, 10.0f, 80.0f, 80.0f, turn - 90, 100);
    } else if (!std::strcmp(name, "dot")) {
        FillCircle(g, 50, 50, 50, 0xFFFFFFFFu);
        FillCircle(g, 50, 50, 40, 0xFFF03E3Eu);
    } else if (!std::strcmp(name, "close")) {
        Line(g, 28, 28, 72, 72, tint, 8);
        Line(g, 72, 28, 28, 72, tint, 8);
    } else if (!std::strcmp(name, "minimize")) {
        Line(g, 26, 50, 74, 50, tint, 8);
    } else if (!std::strcmp(name, "sprout")) {
        Pen stem(C(0xFF2E9E5Bu), 8);
        stem.SetStartCap(LineCapRound);
        g.DrawBezier(&stem, 50.0f, 94.0f, 50.0f, 70.0f, 48.0f, 56.0f, 50.0f, 44.0f);
        GraphicsPath left;
        left.AddBezier(50.0f, 50.0f, 30.0f, 56.0f, 6.0f, 44.0f, 8.0f, 22.0f);
        left.AddBezier(8.0f, 22.0f, 32.0f, 18.0f, 50.0f, 30.0f, 50.0f, 50.0f);
        SolidBrush lb(C(0xFF46C37Bu));
        g.FillPath(&lb, &left);
        GraphicsPath right;
        right.AddBezier(50.0f, 44.0f, 52.0f, 18.0f, 70.0f, 4.0f, 94.0f, 8.0f);
        right.AddBezier(94.0f, 8.0f, 94.0f, 32.0f, 76.0f, 46.0f, 50.0f, 44.0f);
        SolidBrush rb(C(0xFF7EDB8Fu));
        g.FillPath(&rb, &right);
    } else if (!std::strcmp(name, "folder")) {
        FillRoundRect(g, RectF(6, 18, 40, 20), 6, Darker(tint, 0.1f));
        FillRoundRect(g, RectF(6, 28, 88, 58), 8, tint);
        FillRoundRect(g, RectF(6, 36, 88, 50), 8, Lighter(tint, 0.25f));
    } else if (!std::strcmp(name, "cable")) {
        Pen wire(C(0xFF5B6B85u), 6);
        wire.SetStartCap(LineCapRound);
        wire.SetEndCap(LineCapRound);
        g.DrawBezier(&wire, 50.0f, 60.0f, 50.0f, 80.0f, 20.0f, 70.0f, 18.0f, 96.0f);
        FillRoundRect(g, RectF(36, 30, 28, 32), 5, tint);
        FillRoundRect(g, RectF(41, 8, 18, 24), 2, 0xFFC9D1DEu);
    } else if (!std::strcmp(name, "key")) {
        FillRoundRect(g, RectF(14, 30, 72, 40), 20, 0xFFE7ECF5u);
        FillRoundRect(g, RectF(22, 36, 56, 28), 14, tint);
        Line(g, 50, 6, 50, 22, tint, 6);
        Line(g, 40, 14, 50, 24, tint, 6);
        Line(g, 60, 14, 50, 24, tint, 6);
    } else if (!std::strcmp(name, "download")) {
        Line(g, 50, 10, 50, 60, tint, 10);
        Line(g, 30, 42, 50, 62, tint, 10);
        Line(g, 70, 42, 50, 62, tint, 10);
        Line(g, 16, 86, 84, 86, tint, 10);
    }
    g.Restore(saved);
}

}  // namespace uifeature::draw
