// UiFeatureNormalControl.dll: the control classes (panel, button, static, progress, radio, check,
// edit, link) with their state, drawing and input behaviour. The kernel hosts them.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "companions/skin-engine/controls/draw.h"
#include "companions/skin-engine/core/effect_math.h"
#include "companions/skin-engine/core/skin_format.h"
#include "companions/skin-engine/plugin_api.h"
#include "base/win/strings.h"

namespace uifeature {
namespace {

using namespace Gdiplus;
using draw::Darker;
using draw::Lighter;
using draw::Mix;
using draw::WithAlpha;

constexpr uint32_t kAccent = 0xFF2F6BFFu;
constexpr uint32_t kText = 0xFF2B3A55u;
constexpr uint32_t kTextMuted = 0xFF6B7A93u;
constexpr uint32_t kLine = 0xFFD3DAE6u;
constexpr float kDisabledAlpha = 0.45f;

// The host lock for a scope.
class HostLock {
public:
    explicit HostLock(IControlHost* h) : h_(h) { h_->Lock(); }
    ~HostLock() { h_->Unlock(); }
    HostLock(const HostLock&) = delete;
    HostLock& operator=(const HostLock&) = delete;

private:
    IControlHost* h_;
};

enum class Align { Left, Center, Right };
enum class VAlign { Top, Center, Bottom };

// Look of a control as the skin gives it; fixed once loaded, so read without the lock.
struct Look {
    uint32_t color = 0, background = 0, gradient = 0, border = 0, hover = 0, pressed = 0, hoverColor = 0;
    uint32_t checkedBackground = 0, checkedColor = 0, accent = kAccent;
    int radius = 0, fontSize = 13, padding = 0, pictureSize = 0;
    bool bold = false, wrap = false, drag = false, shadow = false;
    Align align = Align::Left;
    VAlign valign = VAlign::Center;
    std::string style, picture, syscommand, group;
    std::wstring image;
    int states = 1;
};

float Round1(float v) { return std::floor(v + 0.5f); }

// Base of every control: the public face (one of the ICtrl* interfaces) and the kernel's node.
template <typename FaceT>
class Control : public FaceT, public IControlNode {
public:
    Control(ControlKind kind, const char* name, IControlHost* host) : kind_(kind), name_(name ? name : ""), host_(host) {}

    // IControlBase
    int UIF_CALL GetKind() override { return static_cast<int>(kind_); }
    const char* UIF_CALL GetName() override { return name_.c_str(); }
    BOOL UIF_CALL IsUsable() override { return usable_ && host_->GetWindow() != nullptr; }

    IControlBase* UIF_CALL FindDescendant(const char* name) override {
        if (!name) return nullptr;
        for (IControlNode* child : children_) {
            IControlBase* face = child->Face();
            if (!face->IsUsable()) continue;  // with its subtree
            if (EqualsNoCase(face->GetName(), name)) return face;
            if (IControlBase* found = face->FindDescendant(name)) return found;
        }
        return nullptr;
    }

    void UIF_CALL SetVisible(BOOL visible, BOOL redraw) override {
        bool changed;
        {
            HostLock lock(host_);
            changed = visible_ != (visible != FALSE);
            visible_ = visible != FALSE;
            if (!visible_) hot_ = pressed_ = false;
        }
        if (changed) host_->RequestSync();
        if (changed && redraw) host_->Invalidate(this);
    }
    BOOL UIF_CALL IsVisible() override {
        HostLock lock(host_);
        return visible_;
    }

    // The enabled state of the controls a user can click: a disabled control is neither hot nor
    // pressed, so it shows no hover or press when it is enabled again.
    void StoreEnabled(BOOL enabled) {
        {
            HostLock lock(host_);
            if (enabled_ == (enabled != FALSE)) return;
            enabled_ = enabled != FALSE;
            if (!enabled_) hot_ = pressed_ = false;
        }
        host_->Invalidate(this);
    }
    BOOL LoadEnabled() {
        HostLock lock(host_);
        return enabled_;
    }
    // A flag other threads may set (checked), and its read, under the host lock.
    void StoreFlag(bool& flag, BOOL value, BOOL redraw) {
        {
            HostLock lock(host_);
            flag = value != FALSE;
        }
        if (redraw) host_->Invalidate(this);
    }
    BOOL LoadFlag(const bool& flag) {
        HostLock lock(host_);
        return flag;
    }
    void UIF_CALL Redraw() override { host_->Invalidate(this); }

    void UIF_CALL SetText(const char* text) override {
        std::wstring wide = TVSP::AnsiToWide(text ? text : "");
        {
            HostLock lock(host_);
            if (wide == text_) return;
            text_ = std::move(wide);
            textChanged_ = true;
        }
        OnTextSet();
        host_->Invalidate(this);
    }

    int UIF_CALL GetText(char* buffer, int size) override {
        std::wstring copy;
        {
            HostLock lock(host_);
            copy = text_;
        }
        const std::string ansi = TVSP::WideToAnsi(copy);
        const int n = static_cast<int>(ansi.size());
        if (buffer && size > 0) {
            const int k = std::min(n, size - 1);
            std::copy_n(ansi.data(), k, buffer);
            buffer[k] = '\0';
        }
        return n;
    }

    void UIF_CALL GetBounds(RECT* bounds) override {
        if (!bounds) return;
        float x, y, w, h;
        GetUnitRect(&x, &y, &w, &h);
        const float s = host_->GetScale();
        bounds->left = static_cast<LONG>(Round1(x * s));
        bounds->top = static_cast<LONG>(Round1(y * s));
        bounds->right = static_cast<LONG>(Round1((x + w) * s));
        bounds->bottom = static_cast<LONG>(Round1((y + h) * s));
    }

    // IControlNode
    IControlBase* UIF_CALL Face() override { return static_cast<FaceT*>(this); }

    BOOL UIF_CALL SetAttribute(const char* key, const char* value) override {
        const std::string_view k(key), v(value);
        bool b = false;
        if (k == "name") return TRUE;
        if (k == "rect") return ParseRect(v, &rect_);
        if (k == "visible") return ParseBool(v, &b) ? (visible_ = b, TRUE) : FALSE;
        if (k == "enabled") return ParseBool(v, &b) ? (enabled_ = b, TRUE) : FALSE;
        if (k == "text") return text_ = TVSP::Utf8ToWide(v), TRUE;
        if (k == "color") return ParseColor(v, &look_.color);
        if (k == "background") return ParseColor(v, &look_.background);
        if (k == "gradient") return ParseColor(v, &look_.gradient);
        if (k == "border") return ParseColor(v, &look_.border);
        if (k == "hover") return ParseColor(v, &look_.hover);
        if (k == "pressed") return ParseColor(v, &look_.pressed);
        if (k == "hover-color") return ParseColor(v, &look_.hoverColor);
        if (k == "checked-background") return ParseColor(v, &look_.checkedBackground);
        if (k == "checked-color") return ParseColor(v, &look_.checkedColor);
        if (k == "accent") return ParseColor(v, &look_.accent);
        if (k == "radius") return ParseInt(v, 0, 500, &look_.radius);
        if (k == "font-size") return ParseInt(v, 6, 96, &look_.fontSize);
        if (k == "padding") return ParseInt(v, 0, 200, &look_.padding);
        if (k == "picture-size") return ParseInt(v, 4, 512, &look_.pictureSize);
        if (k == "bold") return ParseBool(v, &look_.bold);
        if (k == "wrap") return ParseBool(v, &look_.wrap);
        if (k == "drag") return ParseBool(v, &look_.drag);
        if (k == "shadow") return ParseBool(v, &look_.shadow);
        if (k == "align") {
            look_.align = v == "center" ? Align::Center : v == "right" ? Align::Right : Align::Left;
            return TRUE;
        }
        if (k == "valign") {
            look_.valign = v == "top" ? VAlign::Top : v == "bottom" ? VAlign::Bottom : VAlign::Center;
            return TRUE;
        }
        if (k == "style") return look_.style = v, TRUE;
        if (k == "picture") return IsKnownPicture(v) ? (look_.picture = v, TRUE) : FALSE;
        if (k == "image") return look_.image = TVSP::Utf8ToWide(v), TRUE;
        if (k == "states") return ParseInt(v, 1, 256, &look_.states);
        if (k == "syscommand") return look_.syscommand = v, TRUE;
        if (k == "group") return look_.group = v, TRUE;
        return SetKindAttribute(k, v);
    }

    void UIF_CALL AppendChild(IControlNode* child) override {
        children_.push_back(child);
        child->SetParent(this);
    }
    void UIF_CALL SetParent(IControlNode* parent) override { parent_ = parent; }
    int UIF_CALL ChildCount() override { return static_cast<int>(children_.size()); }
    IControlNode* UIF_CALL ChildAt(int index) override {
        return index >= 0 && index < static_cast<int>(children_.size()) ? children_[static_cast<size_t>(index)] : nullptr;
    }
    IControlNode* UIF_CALL Parent() override { return parent_; }

    void UIF_CALL GetUnitRect(float* x, float* y, float* w, float* h) override {
        float px = 0, py = 0, pw, ph;
        if (parent_) parent_->GetUnitRect(&px, &py, &pw, &ph);
        *x = px + static_cast<float>(rect_.x);
        *y = py + static_cast<float>(rect_.y);
        *w = static_cast<float>(rect_.w);
        *h = static_cast<float>(rect_.h);
    }

    BOOL UIF_CALL Prepare() override {
        usable_ = PrepareKind();
        return usable_;
    }

    BOOL UIF_CALL IsShown() override { return visible_; }
    int UIF_CALL GetHitKind() override { return HitNone; }
    void UIF_CALL SetMouseState(BOOL hot, BOOL pressed) override {
        const bool h = hot != FALSE, p = pressed != FALSE;
        if (h == hot_ && p == pressed_) return;
        hot_ = h;
        pressed_ = p;
        if (AnimatesHover()) host_->StartFrames();
    }
    int UIF_CALL Activate(WPARAM*, LPARAM*) override { return 0; }
    BOOL UIF_CALL Tick(unsigned elapsedMs) override {
        if (!AnimatesHover()) return FALSE;
        const float target = hot_ ? 1.0f : 0.0f;
        if (hover_ == target) return FALSE;
        hover_ = host_->Approach(static_cast<int>(EffectKind::Fade), hover_, target, elapsedMs);
        host_->Invalidate(this);
        return hover_ != target;
    }
    BOOL UIF_CALL WantsHandCursor() override { return FALSE; }
    void UIF_CALL Sync() override {}
    BOOL UIF_CALL OnCommand(HWND, int) override { return FALSE; }
    void UIF_CALL Destroy() override { delete this; }

protected:
    virtual ~Control() = default;
    virtual BOOL SetKindAttribute(std::string_view, std::string_view) { return FALSE; }
    virtual bool PrepareKind() { return true; }
    virtual void OnTextSet() {}
    virtual bool AnimatesHover() const { return false; }

    Graphics& G(const UifPaintContext* c) { return *static_cast<Graphics*>(c->graphics); }
    RectF Box(const UifPaintContext* c) const { return RectF(c->x, c->y, c->w, c->h); }
    float Alpha() const { return enabled_ ? 1.0f : kDisabledAlpha; }

    // Background, optional vertical gradient, border and the skin's radius.
    void PaintPlate(const UifPaintContext* c, uint32_t fill, uint32_t gradientTo, uint32_t border) {
        Graphics& g = G(c);
        const RectF r = Box(c);
        const float radius = static_cast<float>(look_.radius);
        if (look_.shadow) {
            // A soft shadow: stacked translucent outlines fading outwards, offset downwards.
            for (int i = 6; i >= 1; --i) {
                const float grow = static_cast<float>(i);
                draw::FillRoundRect(g, RectF(r.X - grow, r.Y - grow + 3, r.Width + 2 * grow, r.Height + 2 * grow),
                                    radius + grow, 0x06203050u);
            }
        }
        if ((fill >> 24) != 0) {
            if ((gradientTo >> 24) != 0) {
                GraphicsPath path;
                draw::AddRoundRect(path, r, radius);
                LinearGradientBrush b(PointF(0, r.Y - 0.5f), PointF(0, r.Y + r.Height + 0.5f), Color(fill), Color(gradientTo));
                g.FillPath(&b, &path);
            } else {
                draw::FillRoundRect(g, r, radius, fill);
            }
        }
        draw::StrokeRoundRect(g, r, radius, border, 1.0f);
    }

    // The control's text in its font, laid out in r.
    void PaintText(const UifPaintContext* c, const std::wstring& text, const RectF& r, uint32_t colour,
                   bool underline = false, Align align = Align::Left, VAlign valign = VAlign::Center, bool wrap = false) {
        if (text.empty() || (colour >> 24) == 0) return;
        auto* font = static_cast<Font*>(host_->GetFont(look_.fontSize, look_.bold, underline));
        if (!font) return;
        StringFormat format;
        format.SetAlignment(align == Align::Center ? StringAlignmentCenter
                            : align == Align::Right ? StringAlignmentFar
                                                    : StringAlignmentNear);
        format.SetLineAlignment(valign == VAlign::Center ? StringAlignmentCenter
                                : valign == VAlign::Bottom ? StringAlignmentFar
                                                           : StringAlignmentNear);
        if (!wrap) {
            format.SetFormatFlags(StringFormatFlagsNoWrap);
            format.SetTrimming(StringTrimmingEllipsisCharacter);
        } else {
            format.SetTrimming(StringTrimmingWord);
        }
        SolidBrush brush{Color(colour)};
        G(c).DrawString(text.c_str(), static_cast<INT>(text.size()), font, r, &format, &brush);
    }

    RectF Padded(const UifPaintContext* c) const {
        const float p = static_cast<float>(look_.padding);
        return RectF(c->x + p, c->y, std::max(0.0f, c->w - 2 * p), c->h);
    }

    ControlKind kind_;
    std::string name_;
    IControlHost* host_;
    IControlNode* parent_ = nullptr;
    std::vector<IControlNode*> children_;
    UnitRect rect_;
    Look look_;
    bool usable_ = true;
    // Under the host lock:
    bool visible_ = true, enabled_ = true, textChanged_ = false;
    bool hot_ = false, pressed_ = false;
    float hover_ = 0;
    std::wstring text_;
};

// A picture: a built-in vector drawing or an image strip of `states` frames next to the skin.
class Picture {
public:
    ~Picture() { delete bitmap_; }

    // Loads the image into memory (the file is not kept open). False when it cannot be read.
    bool Load(const std::wstring& folder, const std::wstring& file) {
        if (file.empty()) return true;
        std::wstring path = folder + L"\\" + file;
        for (auto& ch : path) {
            if (ch == L'/') ch = L'\\';
        }
        Bitmap source(path.c_str());
        if (source.GetLastStatus() != Ok || source.GetWidth() == 0 || source.GetHeight() == 0) return false;
        bitmap_ = new Bitmap(static_cast<INT>(source.GetWidth()), static_cast<INT>(source.GetHeight()), PixelFormat32bppPARGB);
        if (bitmap_->GetLastStatus() != Ok) return false;
        Graphics g(bitmap_);
        g.DrawImage(&source, 0, 0, static_cast<INT>(source.GetWidth()), static_cast<INT>(source.GetHeight()));
        return true;
    }

    bool HasImage() const { return bitmap_ != nullptr; }

    void Paint(Graphics& g, const RectF& box, const Look& look, int state, bool dim, uint32_t tint) const {
        const int states = std::max(1, look.states);
        if (bitmap_) {
            const int frame = std::clamp(state, 0, states - 1);
            const float fw = static_cast<float>(bitmap_->GetWidth()) / static_cast<float>(states);
            const float fh = static_cast<float>(bitmap_->GetHeight());
            // Fit, keeping the frame's proportions, centred.
            const float k = std::min(box.Width / fw, box.Height / fh);
            const RectF dst(box.X + (box.Width - fw * k) / 2, box.Y + (box.Height - fh * k) / 2, fw * k, fh * k);
            ImageAttributes attrs;
            if (dim) {
                ColorMatrix m = {{{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, kDisabledAlpha, 0}, {0, 0, 0, 0, 1}}};
                attrs.SetColorMatrix(&m);
            }
            g.SetInterpolationMode(InterpolationModeHighQualityBicubic);
            g.DrawImage(bitmap_, dst, static_cast<REAL>(frame) * fw, 0, fw, fh, UnitPixel, &attrs);
        } else if (!look.picture.empty()) {
            draw::DrawPicture(g, look.picture.c_str(), box, state, states, tint, dim);
        }
    }

private:
    Bitmap* bitmap_ = nullptr;
};

class Panel final : public Control<ICtrlPanel> {
public:
    using Control::Control;
    int UIF_CALL GetHitKind() override { return look_.drag ? HitDrag : HitNone; }
    void UIF_CALL Paint(const UifPaintContext* c) override {
        PaintPlate(c, look_.background, look_.gradient, look_.border);
        if (picture_.HasImage()) picture_.Paint(G(c), Box(c), look_, 0, false, 0);
    }

protected:
    // A background image that cannot be read leaves the panel, and so its subtree, unusable.
    bool PrepareKind() override { return picture_.Load(host_->GetSkinFolder(), look_.image); }

private:
    Picture picture_;
};

class StaticBox final : public Control<ICtrlStaticBox> {
public:
    using Control::Control;

    void UIF_CALL SetImageState(int state) override {
        {
            HostLock lock(host_);
            if (state_ == state) return;
            state_ = state;
        }
        // As the interface says: the state shows on the next redraw, which the caller asks for.
    }
    int UIF_CALL GetImageState() override {
        HostLock lock(host_);
        return state_;
    }
    int UIF_CALL GetHitKind() override { return look_.drag ? HitDrag : HitNone; }

    void UIF_CALL Paint(const UifPaintContext* c) override {
        PaintPlate(c, look_.background, 0, look_.border);
        RectF text = Padded(c);
        if (picture_.HasImage() || !look_.picture.empty()) {
            RectF box = Box(c);
            if (!text_.empty()) {
                // Picture on the left, text beside it.
                box.Width = box.Height;
                text.X += box.Width + 8;
                text.Width = std::max(0.0f, c->x + c->w - text.X);
            }
            picture_.Paint(G(c), box, look_, state_, !enabled_, look_.accent);
        }
        PaintText(c, text_, text, WithAlpha(look_.color ? look_.color : kText, Alpha()), false, look_.align,
                  look_.valign, look_.wrap);
    }

protected:
    BOOL SetKindAttribute(std::string_view k, std::string_view v) override {
        if (k == "state") return ParseInt(v, 0, 1 << 20, &state_);
        return FALSE;
    }
    bool PrepareKind() override { return picture_.Load(host_->GetSkinFolder(), look_.image); }

private:
    Picture picture_;
    int state_ = 0;
};

class Button final : public Control<ICtrlButton> {
public:
    using Control::Control;

    void UIF_CALL SetEnabled(BOOL enabled) override { StoreEnabled(enabled); }
    BOOL UIF_CALL IsEnabled() override { return LoadEnabled(); }
    void UIF_CALL SetChecked(BOOL checked, BOOL redraw) override { StoreFlag(checked_, checked, redraw); }
    BOOL UIF_CALL IsChecked() override { return LoadFlag(checked_); }

    int UIF_CALL GetHitKind() override { return enabled_ ? HitClick : HitSolid; }
    int UIF_CALL Activate(WPARAM* v1, LPARAM* v2) override {
        if (!enabled_) return 0;
        *v2 = 0;
        if (look_.syscommand == "close") return *v1 = SC_CLOSE, UIF_WM_SYSCOMMAND;
        if (look_.syscommand == "minimize") return *v1 = SC_MINIMIZE, UIF_WM_SYSCOMMAND;
        *v1 = 0;
        return UIF_MSG_BUTTON_CLICKED;
    }

    void UIF_CALL Paint(const UifPaintContext* c) override {
        Graphics& g = G(c);
        const std::string& s = look_.style;
        const float a = Alpha();
        const float hv = enabled_ ? hover_ : 0.0f;
        const bool down = c->pressed && enabled_;
        const float radius = static_cast<float>(look_.radius);
        uint32_t fill = 0, border = look_.border, ink = look_.color;

        if (s == "tab") {
            ink = checked_ ? (look_.checkedColor ? look_.checkedColor : look_.accent)
                           : Mix(look_.color ? look_.color : kTextMuted, look_.hoverColor ? look_.hoverColor : kText, hv);
            fill = checked_ ? look_.checkedBackground : WithAlpha(look_.hover ? look_.hover : 0x10000000u, hv);
            draw::FillRoundRect(g, Box(c), radius, fill);
            if (checked_) {
                const float w = std::min(c->w * 0.5f, 36.0f);
                draw::FillRoundRect(g, RectF(c->x + (c->w - w) / 2, c->y + c->h - 3, w, 3), 1.5f,
                                    look_.checkedColor ? look_.checkedColor : look_.accent);
            }
        } else if (s == "caption" || s == "caption-close") {
            const uint32_t over = s == "caption-close" ? 0xFFE5484Du : (look_.hover ? look_.hover : 0x33FFFFFFu);
            fill = WithAlpha(down ? Darker(over, 0.1f) : over, down ? 1.0f : hv);
            draw::FillRoundRect(g, Box(c), radius, fill);
            ink = look_.color ? look_.color : 0xFFFFFFFFu;
            if (s == "caption-close") ink = Mix(ink, 0xFFFFFFFFu, hv);
        } else if (s == "text") {
            ink = Mix(look_.color ? look_.color : look_.accent, look_.hoverColor ? look_.hoverColor : Darker(look_.accent, 0.2f), hv);
        } else {
            // primary (default), secondary, ghost
            uint32_t base, over, press;
            if (s == "secondary") {
                base = look_.background ? look_.background : 0xFFFFFFFFu;
                over = look_.hover ? look_.hover : Mix(base, look_.accent, 0.08f);
                press = look_.pressed ? look_.pressed : Mix(base, look_.accent, 0.16f);
                border = border ? border : Mix(kLine, look_.accent, hv);
                ink = ink ? ink : kText;
            } else if (s == "ghost") {
                base = look_.background ? look_.background : 0x00FFFFFFu;
                over = look_.hover ? look_.hover : WithAlpha(look_.accent, 0.10f);
                press = look_.pressed ? look_.pressed : WithAlpha(look_.accent, 0.18f);
                ink = ink ? ink : look_.accent;
            } else {
                base = look_.background ? look_.background : look_.accent;
                over = look_.hover ? look_.hover : Lighter(base, 0.12f);
                press = look_.pressed ? look_.pressed : Darker(base, 0.12f);
                ink = ink ? ink : 0xFFFFFFFFu;
            }
            if (checked_ && look_.checkedBackground) base = over = look_.checkedBackground;
            if (checked_ && look_.checkedColor) ink = look_.checkedColor;
            fill = down ? press : Mix(base, over, hv);
            uint32_t to = look_.gradient && !down ? Mix(look_.gradient, over, hv) : 0;
            if (s != "secondary" && s != "ghost" && enabled_ && !down) {
                // A soft drop shadow lifts primary buttons off the page.
                draw::FillRoundRect(g, RectF(c->x + 2, c->y + 3, c->w - 4, c->h), radius, WithAlpha(base, 0.22f));
            }
            PaintPlateWith(c, WithAlpha(fill, a), to ? WithAlpha(to, a) : 0, WithAlpha(border, a));
            fill = 0;
        }

        RectF content = Padded(c);
        if (down) content.Y += 1;
        if (picture_.HasImage() && look_.states >= 4 && look_.picture.empty() && text_.empty()) {
            // Classic four-state strip: normal, hover, pressed, disabled.
            const int state = !enabled_ ? 3 : down ? 2 : hot_ ? 1 : 0;
            picture_.Paint(g, Box(c), look_, state, false, 0);
            return;
        }
        if (picture_.HasImage() || !look_.picture.empty()) {
            const float side = look_.pictureSize ? static_cast<float>(look_.pictureSize)
                                                 : (text_.empty() ? std::min(c->w, c->h) * 0.5f : c->h * 0.55f);
            RectF box(content.X + (content.Width - side) / 2, content.Y + (c->h - side) / 2, side, side);
            if (!text_.empty()) {
                // Picture left of the centred text.
                auto* font = static_cast<Font*>(host_->GetFont(look_.fontSize, look_.bold, FALSE));
                RectF measured;
                if (font) g.MeasureString(text_.c_str(), static_cast<INT>(text_.size()), font, PointF(0, 0), &measured);
                const float total = side + 6 + measured.Width;
                box.X = content.X + (content.Width - total) / 2;
                content.X = box.X + side + 6;
                content.Width = measured.Width + 2;
                picture_.Paint(g, box, look_, 0, !enabled_, ink ? ink : look_.accent);
                PaintText(c, text_, content, WithAlpha(ink, a), false, Align::Left, VAlign::Center, false);
                return;
            }
            picture_.Paint(g, box, look_, 0, !enabled_, ink ? ink : look_.accent);
            return;
        }
        PaintText(c, text_, content, WithAlpha(ink ? ink : kText, a), false,
                  look_.align == Align::Left && s != "text" ? Align::Center : look_.align, look_.valign, look_.wrap);
    }

protected:
    bool AnimatesHover() const override { return true; }
    BOOL SetKindAttribute(std::string_view k, std::string_view v) override {
        if (k == "checked") return ParseBool(v, &checked_);
        return FALSE;
    }
    bool PrepareKind() override {
        // Buttons centre their text unless the skin says otherwise.
        return picture_.Load(host_->GetSkinFolder(), look_.image);
    }

private:
    void PaintPlateWith(const UifPaintContext* c, uint32_t fill, uint32_t to, uint32_t border) {
        const bool shadow = look_.shadow;
        look_.shadow = false;
        PaintPlate(c, fill, to, border);
        look_.shadow = shadow;
    }

    Picture picture_;
    bool checked_ = false;
};

class ProgressBar final : public Control<ICtrlProgressBar> {
public:
    using Control::Control;

    void UIF_CALL SetPosition(int position) override {
        {
            HostLock lock(host_);
            const int clamped = std::clamp(position, 0, max_);
            if (clamped == position_) return;
            // Going back (a new run) jumps; going forward glides.
            if (clamped < position_ || !smooth_) shown_ = static_cast<float>(clamped);
            position_ = clamped;
        }
        host_->StartFrames();
        host_->Invalidate(this);
    }
    int UIF_CALL GetPosition() override {
        HostLock lock(host_);
        return position_;
    }

    BOOL UIF_CALL Tick(unsigned elapsedMs) override {
        const float target = static_cast<float>(position_);
        shown_ = host_->Approach(static_cast<int>(smooth_ ? EffectKind::Smooth : EffectKind::None), shown_, target, elapsedMs);
        host_->Invalidate(this);
        return shown_ != target;
    }

    void UIF_CALL Paint(const UifPaintContext* c) override {
        Graphics& g = G(c);
        const RectF r = Box(c);
        const float radius = look_.radius ? static_cast<float>(look_.radius) : r.Height / 2;
        draw::FillRoundRect(g, r, radius, look_.background ? look_.background : 0xFFE4E9F2u);
        const float fraction = std::clamp(shown_ / static_cast<float>(max_), 0.0f, 1.0f);
        if (fraction > 0) {
            const float w = std::max(r.Height, r.Width * fraction);
            const RectF bar(r.X, r.Y, std::min(w, r.Width), r.Height);
            GraphicsPath path;
            draw::AddRoundRect(path, bar, radius);
            const uint32_t from = look_.color ? look_.color : look_.accent;
            const uint32_t to = look_.gradient ? look_.gradient : Lighter(from, 0.35f);
            LinearGradientBrush b(PointF(r.X - 1, 0), PointF(r.X + r.Width + 1, 0), Color(from), Color(to));
            g.FillPath(&b, &path);
            // A highlight along the top edge gives the bar some depth.
            draw::FillRoundRect(g, RectF(bar.X + radius / 2, bar.Y + 1, std::max(0.0f, bar.Width - radius), bar.Height * 0.35f),
                                bar.Height * 0.2f, 0x33FFFFFFu);
        }
        if (!text_.empty()) {
            wchar_t pct[16];
            swprintf(pct, 16, L"%d%%", static_cast<int>(shown_ * 100.0f / static_cast<float>(max_) + 0.5f));
            std::wstring t = text_;
            const size_t at = t.find(L"%d");
            if (at != std::wstring::npos) t.replace(at, 2, pct);
            PaintText(c, t, r, look_.color ? Darker(look_.color, 0.3f) : kText, false, Align::Center);
        }
    }

protected:
    BOOL SetKindAttribute(std::string_view k, std::string_view v) override {
        if (k == "value") return ParseInt(v, 0, 1000000, &position_) ? (shown_ = static_cast<float>(position_), TRUE) : FALSE;
        if (k == "max") return ParseInt(v, 1, 1000000, &max_);
        if (k == "effect") return smooth_ = v == "smooth", TRUE;
        return FALSE;
    }
    bool PrepareKind() override {
        position_ = std::min(position_, max_);
        shown_ = static_cast<float>(position_);
        return true;
    }

private:
    int position_ = 0, max_ = 100;
    float shown_ = 0;
    bool smooth_ = true;
};

// Radio and check boxes share the mark-and-label layout.
template <typename FaceT>
class Toggle : public Control<FaceT> {
public:
    using Control<FaceT>::Control;
    using Base = Control<FaceT>;

    int UIF_CALL GetHitKind() override { return this->enabled_ ? IControlNode::HitClick : IControlNode::HitSolid; }

protected:
    bool AnimatesHover() const override { return true; }
    BOOL SetKindAttribute(std::string_view k, std::string_view v) override {
        if (k == "checked") return ParseBool(v, &checked_);
        return FALSE;
    }

    void PaintToggle(const UifPaintContext* c, bool round) {
        Graphics& g = this->G(c);
        const float side = std::min(16.0f, c->h);
        const RectF mark(c->x + 1, c->y + (c->h - side) / 2, side, side);
        const float a = this->Alpha();
        const uint32_t accent = this->look_.accent;
        const float hv = this->enabled_ ? this->hover_ : 0.0f;
        if (checked_) {
            if (round) {
                SolidBrush ring{Color(WithAlpha(accent, a))};
                g.FillEllipse(&ring, mark);
                SolidBrush dot{Color(0xFFFFFFFFu)};
                g.FillEllipse(&dot, RectF(mark.X + side * 0.31f, mark.Y + side * 0.31f, side * 0.38f, side * 0.38f));
            } else {
                draw::FillRoundRect(g, mark, 4, WithAlpha(accent, a));
                Pen p(Color(0xFFFFFFFFu), 2.0f);
                p.SetStartCap(LineCapRound);
                p.SetEndCap(LineCapRound);
                p.SetLineJoin(LineJoinRound);
                const PointF pts[] = {{mark.X + side * 0.25f, mark.Y + side * 0.52f},
                                      {mark.X + side * 0.43f, mark.Y + side * 0.70f},
                                      {mark.X + side * 0.76f, mark.Y + side * 0.32f}};
                g.DrawLines(&p, pts, 3);
            }
        } else {
            const uint32_t edge = WithAlpha(Mix(0xFFB4BECFu, accent, hv), a);
            if (round) {
                SolidBrush fill{Color(0xFFFFFFFFu)};
                g.FillEllipse(&fill, mark);
                Pen pen(Color(edge), 1.3f);
                g.DrawEllipse(&pen, RectF(mark.X + 0.65f, mark.Y + 0.65f, side - 1.3f, side - 1.3f));
            } else {
                draw::FillRoundRect(g, mark, 4, 0xFFFFFFFFu);
                draw::StrokeRoundRect(g, mark, 4, edge, 1.3f);
            }
        }
        const RectF text(mark.X + side + 8, c->y, std::max(0.0f, c->w - side - 9), c->h);
        this->PaintText(c, this->text_, text, WithAlpha(this->look_.color ? this->look_.color : kText, a), false, Align::Left,
                        VAlign::Center, this->look_.wrap);
    }

    bool checked_ = false;
};

class RadioBox final : public Toggle<ICtrlRadioBox> {
public:
    using Toggle::Toggle;

    void UIF_CALL SetChecked(BOOL checked) override {
        {
            HostLock lock(host_);
            SetCheckedLocked(checked != FALSE);
        }
        host_->Invalidate(parent_ ? parent_ : this);
    }
    BOOL UIF_CALL IsChecked() override {
        HostLock lock(host_);
        return checked_;
    }
    int UIF_CALL Activate(WPARAM* v1, LPARAM* v2) override {
        if (!enabled_) return 0;
        SetCheckedLocked(true);
        host_->Invalidate(parent_ ? parent_ : this);
        *v1 = 1;
        *v2 = 0;
        return UIF_MSG_RADIO_CHOSEN;
    }
    void UIF_CALL Paint(const UifPaintContext* c) override { PaintToggle(c, true); }

    const std::string& Group() const { return look_.group; }
    void UncheckLocked() { checked_ = false; }

private:
    // Lock held. Checking one radio box of a group unchecks its siblings of the same group.
    void SetCheckedLocked(bool checked) {
        if (checked && parent_) {
            for (int i = 0; i < parent_->ChildCount(); ++i) {
                IControlNode* sibling = parent_->ChildAt(i);
                if (sibling == this || sibling->Face()->GetKind() != UIF_KIND_RADIO) continue;
                auto* radio = static_cast<RadioBox*>(static_cast<ICtrlRadioBox*>(sibling->Face()));
                if (radio->Group() == look_.group) radio->UncheckLocked();
            }
        }
        checked_ = checked;
    }
};

class CheckBox final : public Toggle<ICtrlCheckBox> {
public:
    using Toggle::Toggle;

    void UIF_CALL SetEnabled(BOOL enabled) override { StoreEnabled(enabled); }
    BOOL UIF_CALL IsEnabled() override { return LoadEnabled(); }
    void UIF_CALL SetChecked(BOOL checked, BOOL redraw) override { StoreFlag(checked_, checked, redraw); }
    BOOL UIF_CALL IsChecked() override { return LoadFlag(checked_); }
    int UIF_CALL Activate(WPARAM* v1, LPARAM* v2) override {
        if (!enabled_) return 0;
        checked_ = !checked_;
        host_->Invalidate(this);
        *v1 = checked_ ? 1 : 0;
        *v2 = 0;
        return UIF_MSG_CHECK_CHANGED;
    }
    void UIF_CALL Paint(const UifPaintContext* c) override { PaintToggle(c, false); }
};

class Link final : public Control<ICtrlLink> {
public:
    using Control::Control;

    void UIF_CALL SetEnabled(BOOL enabled) override { StoreEnabled(enabled); }
    BOOL UIF_CALL IsEnabled() override { return LoadEnabled(); }
    int UIF_CALL GetHitKind() override { return enabled_ ? HitClick : HitSolid; }
    BOOL UIF_CALL WantsHandCursor() override { return enabled_; }
    int UIF_CALL Activate(WPARAM* v1, LPARAM* v2) override {
        if (!enabled_) return 0;
        *v1 = 0;
        *v2 = 0;
        return UIF_MSG_LINK_CLICKED;
    }
    void UIF_CALL Paint(const UifPaintContext* c) override {
        const uint32_t base = look_.color ? look_.color : look_.accent;
        const uint32_t ink = c->hot && enabled_ ? (look_.hover ? look_.hover : Darker(base, 0.2f)) : base;
        PaintText(c, text_, Padded(c), WithAlpha(ink, Alpha()), c->hot && enabled_, look_.align, look_.valign, look_.wrap);
    }
};

// The edit box is a native EDIT child for real text entry (caret, selection, IME, clipboard);
// the engine draws its frame and keeps the text so any thread can read it without a message.
class EditBox final : public Control<ICtrlEditBox> {
public:
    using Control::Control;

    void UIF_CALL SetEnabled(BOOL enabled) override {
        {
            HostLock lock(host_);
            enabled_ = enabled != FALSE;
            syncEnabled_ = true;
        }
        host_->RequestSync();
        host_->Invalidate(this);
    }
    BOOL UIF_CALL IsEnabled() override {
        HostLock lock(host_);
        return enabled_;
    }
    int UIF_CALL GetHitKind() override { return HitSolid; }

    void UIF_CALL Paint(const UifPaintContext* c) override {
        const bool focused = edit_ && ::GetFocus() == edit_;
        const uint32_t border = focused ? look_.accent : (look_.border ? look_.border : kLine);
        PaintPlate(c, enabled_ ? (look_.background ? look_.background : 0xFFFFFFFFu) : 0xFFF2F4F8u, 0,
                   WithAlpha(border, Alpha()));
        if (focused) {
            draw::StrokeRoundRect(*static_cast<Graphics*>(c->graphics),
                                  RectF(c->x - 2, c->y - 2, c->w + 4, c->h + 4), static_cast<float>(look_.radius) + 2,
                                  WithAlpha(look_.accent, 0.25f), 2.0f);
        }
    }

    void UIF_CALL Sync() override {
        HWND host = host_->GetWindow();
        if (!edit_ || !host) return;
        std::wstring text;
        bool setText, setEnabled;
        bool enabled;
        {
            HostLock lock(host_);
            setText = textChanged_;
            textChanged_ = false;
            text = text_;
            setEnabled = syncEnabled_;
            syncEnabled_ = false;
            enabled = enabled_;
        }
        const bool shown = host_->GetEffectiveVisible(this) != 0;
        if (shown != (::IsWindowVisible(edit_) != FALSE)) ::ShowWindow(edit_, shown ? SW_SHOWNA : SW_HIDE);
        if (setEnabled) ::EnableWindow(edit_, enabled);
        if (setText) {
            applying_ = true;
            ::SetWindowTextW(edit_, text.c_str());
            applying_ = false;
        }
    }

    BOOL UIF_CALL OnCommand(HWND child, int code) override {
        if (child != edit_ || !edit_) return FALSE;
        if (code == EN_CHANGE && !applying_) {
            const int n = ::GetWindowTextLengthW(edit_);
            std::wstring text(static_cast<size_t>(n) + 1, L'\0');
            text.resize(static_cast<size_t>(::GetWindowTextW(edit_, text.data(), n + 1)));
            HostLock lock(host_);
            text_ = std::move(text);
        } else if (code == EN_SETFOCUS || code == EN_KILLFOCUS) {
            host_->Invalidate(this);
        }
        return TRUE;
    }

    void UIF_CALL Destroy() override {
        if (edit_ && ::IsWindow(edit_)) ::DestroyWindow(edit_);
        if (font_) ::DeleteObject(font_);
        delete this;
    }

protected:
    BOOL SetKindAttribute(std::string_view k, std::string_view v) override {
        if (k == "maxlength") return ParseInt(v, 1, 32767, &maxLength_);
        if (k == "readonly") return ParseBool(v, &readOnly_);
        return FALSE;
    }
    void OnTextSet() override { host_->RequestSync(); }

    bool PrepareKind() override {
        HWND host = host_->GetWindow();
        if (!host) return false;
        // Children must not be painted over by the engine's back buffer.
        ::SetWindowLongPtrW(host, GWL_STYLE, ::GetWindowLongPtrW(host, GWL_STYLE) | WS_CLIPCHILDREN);
        const float s = host_->GetScale();
        float x, y, w, h;
        GetUnitRect(&x, &y, &w, &h);
        const float pad = 8.0f;
        const int fontPx = static_cast<int>(Round1(static_cast<float>(look_.fontSize) * s));
        const int lineH = fontPx + static_cast<int>(Round1(6 * s));
        const int left = static_cast<int>(Round1((x + pad) * s));
        const int width = std::max(1, static_cast<int>(Round1((w - 2 * pad) * s)));
        const int top = static_cast<int>(Round1(y * s + (h * s - static_cast<float>(lineH)) / 2));
        DWORD style = WS_CHILD | WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT;
        if (readOnly_) style |= ES_READONLY;
        edit_ = ::CreateWindowExW(0, L"EDIT", text_.c_str(), style, left, top, width, lineH, host, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
        if (!edit_) return false;
        LOGFONTW lf{};
        lf.lfHeight = -fontPx;
        lf.lfWeight = look_.bold ? FW_BOLD : FW_NORMAL;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfQuality = CLEARTYPE_QUALITY;
        lstrcpynW(lf.lfFaceName, host_->GetFontFace(), LF_FACESIZE);
        font_ = ::CreateFontIndirectW(&lf);
        if (font_) ::SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        ::SendMessageW(edit_, EM_SETLIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
        ::EnableWindow(edit_, enabled_);
        textChanged_ = false;
        return true;
    }

private:
    HWND edit_ = nullptr;
    HFONT font_ = nullptr;
    int maxLength_ = 32767;
    bool readOnly_ = false, syncEnabled_ = false, applying_ = false;
};

template <typename T>
IControlNode* Make(ControlKind kind, const char* name, IControlHost* host) {
    return new T(kind, name, host);
}

}  // namespace
}  // namespace uifeature

// The control factory: a new control of kind (UifControlKind) named name, hosted by host.
extern "C" IControlNode* UIF_CALL UifCreateControl(int kind, const char* name, IControlHost* host) {
    using namespace uifeature;
    if (!host || !name) return nullptr;
    switch (static_cast<ControlKind>(kind)) {
        case ControlKind::Panel: return Make<Panel>(ControlKind::Panel, name, host);
        case ControlKind::Button: return Make<Button>(ControlKind::Button, name, host);
        case ControlKind::Static: return Make<StaticBox>(ControlKind::Static, name, host);
        case ControlKind::Progress: return Make<ProgressBar>(ControlKind::Progress, name, host);
        case ControlKind::Radio: return Make<RadioBox>(ControlKind::Radio, name, host);
        case ControlKind::Check: return Make<CheckBox>(ControlKind::Check, name, host);
        case ControlKind::Edit: return Make<EditBox>(ControlKind::Edit, name, host);
        case ControlKind::Link: return Make<Link>(ControlKind::Link, name, host);
    }
    return nullptr;
}
