// One engine window: a skin's window attached to a host window, drawn with GDI+ into a back
// buffer, with mouse input, caption dragging, animation frames and thread-safe repaint requests.
#include "companions/skin-engine/kernel/engine_window.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "companions/skin-engine/controls/draw.h"
#include "companions/skin-engine/kernel/font_factory.h"
#include "base/win/strings.h"

namespace uifeature {

using namespace Gdiplus;

namespace {

constexpr wchar_t kProp[] = L"UiFeatureEngineWindow";
constexpr wchar_t kOriginalProp[] = L"UiFeatureOriginalProc";
constexpr UINT_PTR kFrameTimer = 0x55460001;
constexpr UINT kFrameMs = 15;
enum ControlRequest : WPARAM { kStartFrames = 1, kSync = 2, kRelease = 3, kAutomationAction = 4 };

// Private requests to the window's own thread (timers, native children, release).
UINT ControlMessage() {
    static const UINT msg = ::RegisterWindowMessageW(L"UiFeatureEngineRequest");
    return msg;
}

LONG Px(float units, float scale) { return static_cast<LONG>(std::floor(units * scale + 0.5f)); }

bool ParseColorAttr(const Attributes& a, const char* key, uint32_t* out) {
    const std::string_view v = AttributeOr(a, key, "");
    return !v.empty() && ParseColor(v, out);
}

}  // namespace

EngineWindow::EngineWindow(Kernel& kernel, HWND host, std::wstring skinFolder, float scale)
    : kernel_(kernel), hwnd_(host), folder_(std::move(skinFolder)), scale_(scale) {}

EngineWindow::~EngineWindow() = default;

bool EngineWindow::Open(const SkinWindow& def, std::string* error) {
    HWND hwnd = hwnd_.load();
    name_ = def.name;
    width_ = def.width;
    height_ = def.height;
    look_ = def.attributes;
    ParseColorAttr(look_, "background", &background_);
    ParseColorAttr(look_, "gradient", &gradient_);
    ParseColorAttr(look_, "border", &border_);
    ParseColorAttr(look_, "caption-background", &captionBackground_);
    ParseColorAttr(look_, "caption-color", &captionColor_);
    ParseInt(AttributeOr(look_, "caption-height", "0"), 0, 1000, &captionHeight_);
    ParseInt(AttributeOr(look_, "font-size", "13"), 6, 96, &fontSize_);
    caption_ = TVSP::Utf8ToWide(AttributeOr(look_, "caption", ""));
    icon_ = std::string(AttributeOr(look_, "icon", ""));

    fontDc_.reset(::CreateCompatibleDC(nullptr));
    {
        std::wstring face;
        if (!CreateUiFont(fontDc_.get(), kernel_.FontFaces(), 13, false, false, &face)) {
            return *error = "no usable font for skin text", false;
        }
        fontFace_ = face;
    }

    // The root holds the window's top-level controls; it is never drawn itself.
    UifCreateControlFn create = kernel_.ControlFactory();
    root_ = create(UIF_KIND_PANEL, name_.c_str(), this);
    if (!root_) return *error = "the control library refused a panel", false;
    const std::string rect = "0,0," + std::to_string(width_) + "," + std::to_string(height_);
    root_->SetAttribute("rect", rect.c_str());
    root_->Prepare();
    for (const SkinControl& c : def.controls) {
        if (!BuildNode(root_, c, error)) return false;
    }

    // Hook the host window: the engine sees its messages first and passes on what it does not use.
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&EngineWindow::Proc),
                              pin_.put())) {
        return *error = "cannot hold the engine module", false;
    }
    ::SetPropW(hwnd, kProp, this);
    original_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EngineWindow::Proc)));
    ::SetPropW(hwnd, kOriginalProp, reinterpret_cast<HANDLE>(original_));
    editBrush_.reset(::CreateSolidBrush(RGB(255, 255, 255)));
    SyncAll(root_);
    ::InvalidateRect(hwnd, nullptr, FALSE);
    opened_.store(true);  // from here on the tree only changes state, so automation may read it
    return true;
}

IControlNode* EngineWindow::BuildNode(IControlNode* parent, const SkinControl& def, std::string* error) {
    IControlNode* node = kernel_.ControlFactory()(static_cast<int>(def.kind), def.name.c_str(), this);
    if (!node) {
        *error = "line " + std::to_string(def.line) + ": the control library cannot make a " + KindName(def.kind);
        return nullptr;
    }
    parent->AppendChild(node);  // owned by the tree from here on
    for (const auto& [key, value] : def.attributes) {
        if (!node->SetAttribute(key.c_str(), value.c_str())) {
            *error = "line " + std::to_string(def.line) + ": " + KindName(def.kind) + " '" + def.name + "' refused '" + key + "'";
            return nullptr;
        }
    }
    if (def.kind == ControlKind::Edit) hasNative_ = true;
    bool enabled = true;
    if (ParseBool(AttributeOr(def.attributes, "enabled", "true"), &enabled) && !enabled) skinDisabled_.insert(node);
    node->Prepare();  // a failure leaves the control unusable, not the skin
    for (const SkinControl& child : def.children) {
        if (!BuildNode(node, child, error)) return nullptr;
    }
    return node;
}

IControlBase* EngineWindow::FindControl(const char* name) {
    if (!name || !root_) return nullptr;
    for (int i = 0; i < root_->ChildCount(); ++i) {
        IControlBase* face = root_->ChildAt(i)->Face();
        if (face->IsUsable() && EqualsNoCase(face->GetName(), name)) return face;
    }
    return root_->Face()->FindDescendant(name);
}

void EngineWindow::GetNaturalSize(int* width, int* height) {
    if (width) *width = Px(static_cast<float>(width_), scale_);
    if (height) *height = Px(static_cast<float>(height_), scale_);
}

namespace {
IControlNode* FindNodeOf(IControlNode* node, IControlBase* face) {
    if (node->Face() == face) return node;
    for (int i = 0; i < node->ChildCount(); ++i) {
        if (IControlNode* n = FindNodeOf(node->ChildAt(i), face)) return n;
    }
    return nullptr;
}

// Whether node is in the tree, comparing pointers only (node may be stale).
bool TreeHolds(IControlNode* tree, IControlNode* node) {
    if (tree == node) return true;
    for (int i = 0; i < tree->ChildCount(); ++i) {
        if (TreeHolds(tree->ChildAt(i), node)) return true;
    }
    return false;
}
}  // namespace

void EngineWindow::RedrawControl(IControlBase* control) {
    if (!control || !root_) return;
    if (IControlNode* node = FindNodeOf(root_, control)) Invalidate(node);
}

void EngineWindow::Invalidate(IControlNode* node) {
    HWND hwnd = hwnd_.load();
    if (!hwnd || !node) return;
    float x, y, w, h;
    node->GetUnitRect(&x, &y, &w, &h);
    // A margin for shadows and focus rings drawn just outside the rectangle.
    const float m = 8;
    RECT rc{Px(x - m, scale_), Px(y - m, scale_), Px(x + w + m, scale_), Px(y + h + m, scale_)};
    ::InvalidateRect(hwnd, &rc, FALSE);
}

void EngineWindow::StartFrames() {
    HWND hwnd = hwnd_.load();
    if (hwnd && !framesWanted_.exchange(true)) ::PostMessageW(hwnd, ControlMessage(), kStartFrames, 0);
}

void EngineWindow::RequestSync() {
    HWND hwnd = hwnd_.load();
    if (hwnd && hasNative_ && !syncPending_.exchange(true)) ::PostMessageW(hwnd, ControlMessage(), kSync, 0);
}

float EngineWindow::Approach(int effect, float current, float target, unsigned elapsedMs) {
    return kernel_.Approach(effect, current, target, elapsedMs);
}

void* EngineWindow::GetFont(int pixelHeight, BOOL bold, BOOL underline) {
    const auto key = std::make_tuple(pixelHeight, bold != FALSE, underline != FALSE);
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second.get();
    // Kept even when null, so a size without any font is not looked for again on every paint.
    std::unique_ptr<Font>& font = fonts_[key];
    font = CreateUiFont(fontDc_.get(), kernel_.FontFaces(), pixelHeight, bold != FALSE, underline != FALSE, nullptr);
    return font.get();
}

int EngineWindow::GetEffectiveVisible(IControlNode* node) {
    Hold hold(lock_);
    for (IControlNode* n = node; n; n = n->Parent()) {
        if (!n->IsShown()) return 0;
    }
    return 1;
}

LRESULT CALLBACK EngineWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = static_cast<EngineWindow*>(::GetPropW(hwnd, kProp));
    if (self) return self->Handle(msg, wp, lp);
    // Released while another hook sat above ours: forward to what we replaced.
    auto original = reinterpret_cast<WNDPROC>(::GetPropW(hwnd, kOriginalProp));
    return original ? ::CallWindowProcW(original, hwnd, msg, wp, lp) : ::DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT EngineWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    HWND hwnd = hwnd_.load();
    switch (msg) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // everything is drawn in WM_PAINT from the back buffer: no flicker
        case WM_NCHITTEST: {
            POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            ::ScreenToClient(hwnd, &pt);
            int kind = IControlNode::HitNone;
            IControlNode* node = HitAt(MAKELPARAM(pt.x, pt.y), &kind);
            if (kind == IControlNode::HitDrag) return HTCAPTION;
            if (node) return HTCLIENT;
            return static_cast<float>(pt.y) < static_cast<float>(captionHeight_) * scale_ ? HTCAPTION : HTCLIENT;
        }
        case WM_NCLBUTTONDBLCLK:
            if (wp == HTCAPTION) return 0;  // skins have one size: no maximising from the caption
            break;
        case WM_MOUSEMOVE: {
            if (!tracking_) {
                TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd, 0};
                tracking_ = ::TrackMouseEvent(&tme) != FALSE;
            }
            int kind = 0;
            IControlNode* node = HitAt(lp, &kind);
            SetHot(kind == IControlNode::HitClick ? node : nullptr);
            return 0;
        }
        case WM_MOUSELEAVE:
            tracking_ = false;
            if (!pressed_) SetHot(nullptr);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            int kind = 0;
            IControlNode* node = HitAt(lp, &kind);
            if (kind == IControlNode::HitClick) {
                pressed_ = node;
                ::SetCapture(hwnd);
                SetHot(node);
                {
                    Hold hold(lock_);
                    node->SetMouseState(TRUE, TRUE);
                }
                Invalidate(node);
            }
            return 0;
        }
        case WM_LBUTTONUP: {
            IControlNode* pressed = pressed_;
            pressed_ = nullptr;
            if (::GetCapture() == hwnd) ::ReleaseCapture();
            if (!pressed) return 0;
            int kind = 0;
            IControlNode* node = HitAt(lp, &kind);
            {
                Hold hold(lock_);
                pressed->SetMouseState(node == pressed, FALSE);
            }
            Invalidate(pressed);
            if (node == pressed) Activate(pressed);
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (pressed_ && reinterpret_cast<HWND>(lp) != hwnd) {
                Hold hold(lock_);
                pressed_->SetMouseState(pressed_ == hot_, FALSE);
                Invalidate(pressed_);
                pressed_ = nullptr;
            }
            break;
        case WM_SETCURSOR:
            if (LOWORD(lp) == HTCLIENT && hot_) {
                BOOL hand;
                {
                    Hold hold(lock_);
                    hand = hot_->WantsHandCursor();
                }
                if (hand) {
                    ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
                    return TRUE;
                }
            }
            break;
        case WM_TIMER:
            if (wp == kFrameTimer) {
                OnFrame();
                return 0;
            }
            break;
        case WM_COMMAND:
            if (lp && CommandToChildren(root_, reinterpret_cast<HWND>(lp), HIWORD(wp))) return 0;
            break;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            if (hasNative_ && ::GetParent(reinterpret_cast<HWND>(lp)) == hwnd) {
                HDC dc = reinterpret_cast<HDC>(wp);
                ::SetTextColor(dc, RGB(0x2B, 0x3A, 0x55));
                ::SetBkColor(dc, RGB(255, 255, 255));
                return reinterpret_cast<LRESULT>(editBrush_.get());
            }
            break;
        case WM_NCDESTROY: {
            WNDPROC original = original_;
            const LRESULT r = ::CallWindowProcW(original, hwnd, msg, wp, lp);
            // The window is gone: from now on setters only change state, and nothing repaints.
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
            ::RemovePropW(hwnd, kProp);
            ::RemovePropW(hwnd, kOriginalProp);
            {
                Hold hold(lock_);
                hwnd_.store(nullptr);
            }
            hot_ = pressed_ = nullptr;
            return r;
        }
        default:
            if (msg == ControlMessage()) {
                if (wp == kStartFrames) {
                    if (!timerOn_) {
                        timerOn_ = ::SetTimer(hwnd, kFrameTimer, kFrameMs, nullptr) != 0;
                        lastFrame_ = ::GetTickCount();
                    }
                } else if (wp == kSync) {
                    syncPending_.store(false);
                    SyncAll(root_);
                } else if (wp == kRelease) {
                    Teardown();
                } else if (wp == kAutomationAction) {
                    // An automation request, checked when it was made; it is carried out only if
                    // a mouse could still reach the control, through the mouse's own path.
                    auto* node = reinterpret_cast<IControlNode*>(lp);
                    if (root_ && TreeHolds(root_, node) && node != root_ && GetEffectiveVisible(node) &&
                        ::IsWindowEnabled(hwnd)) {
                        Activate(node);
                    }
                }
                return 1;
            }
            break;
    }
    return ::CallWindowProcW(original_, hwnd, msg, wp, lp);
}

IControlNode* EngineWindow::HitNode(IControlNode* node, float x, float y, int* kind) {
    for (int i = node->ChildCount() - 1; i >= 0; --i) {
        IControlNode* c = node->ChildAt(i);
        if (!c->IsShown()) continue;
        float cx, cy, cw, ch;
        c->GetUnitRect(&cx, &cy, &cw, &ch);
        if (x < cx || y < cy || x >= cx + cw || y >= cy + ch) continue;
        if (IControlNode* hit = HitNode(c, x, y, kind)) return hit;
        const int k = c->GetHitKind();
        if (k != IControlNode::HitNone) {
            *kind = k;
            return c;
        }
    }
    return nullptr;
}

IControlNode* EngineWindow::HitAt(LPARAM clientPoint, int* kind) {
    *kind = IControlNode::HitNone;
    if (!root_) return nullptr;
    const float x = static_cast<float>(GET_X_LPARAM(clientPoint)) / scale_;
    const float y = static_cast<float>(GET_Y_LPARAM(clientPoint)) / scale_;
    Hold hold(lock_);
    return HitNode(root_, x, y, kind);
}

void EngineWindow::SetHot(IControlNode* node) {
    if (pressed_ && node != pressed_) node = nullptr;  // while pressed only that control lights up
    if (node == hot_) return;
    IControlNode* old = hot_;
    hot_ = node;
    {
        Hold hold(lock_);
        if (old) old->SetMouseState(FALSE, FALSE);
        if (node) node->SetMouseState(TRUE, node == pressed_);
    }
    if (old) Invalidate(old);
    if (node) Invalidate(node);
}

void EngineWindow::Activate(IControlNode* node) {
    WPARAM v1 = 0;
    LPARAM v2 = 0;
    int code;
    {
        Hold hold(lock_);
        code = node->Activate(&v1, &v2);
    }
    if (code == 0) return;
    HWND hwnd = hwnd_.load();
    // Never with the lock held: the host's handler calls control operations, perhaps waits on
    // threads that call them too.
    if (code == UIF_WM_SYSCOMMAND) {
        if (!hwnd) return;
        ::SendMessageW(hwnd, UIF_WM_SYSCOMMAND, v1, v2);
        // The framework acts on SC_CLOSE itself; minimising is the engine's own caption behaviour.
        if (v1 == SC_MINIMIZE && ::IsWindow(hwnd)) ::ShowWindow(hwnd, SW_MINIMIZE);
        return;
    }
    if (IControlMessage* receiver = receiver_.load()) receiver->OnControlMessage(node->Face(), code, v1, v2);
}

void EngineWindow::OnFrame() {
    HWND hwnd = hwnd_.load();
    const DWORD now = ::GetTickCount();
    const unsigned elapsed = std::max<DWORD>(1, now - lastFrame_);
    lastFrame_ = now;
    // Cleared before the tick: a StartFrames racing with it posts a new start, so none is lost.
    framesWanted_.store(false);
    bool running = false;
    {
        Hold hold(lock_);
        struct Walk {
            static bool Tick(IControlNode* n, unsigned ms) {
                bool any = n->Tick(ms) != FALSE;
                for (int i = 0; i < n->ChildCount(); ++i) any = Tick(n->ChildAt(i), ms) || any;
                return any;
            }
        };
        running = root_ && Walk::Tick(root_, elapsed);
    }
    if (running) {
        framesWanted_.store(true);
    } else if (timerOn_) {
        ::KillTimer(hwnd, kFrameTimer);
        timerOn_ = false;
    }
}

void EngineWindow::SyncAll(IControlNode* node) {
    if (!node) return;
    node->Sync();
    for (int i = 0; i < node->ChildCount(); ++i) SyncAll(node->ChildAt(i));
}

bool EngineWindow::CommandToChildren(IControlNode* node, HWND child, int code) {
    if (!node || !hasNative_) return false;
    if (node->OnCommand(child, code)) return true;
    for (int i = 0; i < node->ChildCount(); ++i) {
        if (CommandToChildren(node->ChildAt(i), child, code)) return true;
    }
    return false;
}

void EngineWindow::Paint() {
    HWND hwnd = hwnd_.load();
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(hwnd, &ps);
    RECT client;
    ::GetClientRect(hwnd, &client);
    const int w = client.right - client.left, h = client.bottom - client.top;
    if (w > 0 && h > 0) {
        if (!bufferDc_ || bufferSize_.cx != w || bufferSize_.cy != h) {
            DropBackBuffer();
            BITMAPINFO bi{};
            bi.bmiHeader.biSize = sizeof bi.bmiHeader;
            bi.bmiHeader.biWidth = w;
            bi.bmiHeader.biHeight = -h;
            bi.bmiHeader.biPlanes = 1;
            bi.bmiHeader.biBitCount = 32;
            bi.bmiHeader.biCompression = BI_RGB;
            void* bits = nullptr;
            bufferDc_.reset(::CreateCompatibleDC(dc));
            buffer_.reset(::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
            bufferOld_ = ::SelectObject(bufferDc_.get(), buffer_.get());
            bufferSize_ = SIZE{w, h};
        }
        {
            Graphics g(bufferDc_.get());
            g.SetSmoothingMode(SmoothingModeAntiAlias);
            g.SetPixelOffsetMode(PixelOffsetModeHalf);
            g.SetCompositingQuality(CompositingQualityHighQuality);
            g.SetTextRenderingHint(TextRenderingHintClearTypeGridFit);
            g.SetClip(Rect(ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
                           ps.rcPaint.bottom - ps.rcPaint.top));
            g.ScaleTransform(scale_, scale_);
            Hold hold(lock_);
            PaintFrame(g);
            if (root_) {
                for (int i = 0; i < root_->ChildCount(); ++i) PaintNode(g, root_->ChildAt(i));
            }
        }
        ::BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
                 ps.rcPaint.bottom - ps.rcPaint.top, bufferDc_.get(), ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
    }
    ::EndPaint(hwnd, &ps);
}

void EngineWindow::PaintFrame(Graphics& g) {
    const float w = static_cast<float>(bufferSize_.cx) / scale_, h = static_cast<float>(bufferSize_.cy) / scale_;
    if (gradient_ >> 24) {
        LinearGradientBrush b(PointF(0, -0.5f), PointF(0, h + 0.5f), Color(background_), Color(gradient_));
        g.FillRectangle(&b, 0.0f, 0.0f, w, h);
    } else {
        SolidBrush b{Color(background_)};
        g.FillRectangle(&b, 0.0f, 0.0f, w, h);
    }
    if (captionHeight_ > 0) {
        const float ch = static_cast<float>(captionHeight_);
        if (captionBackground_ >> 24) {
            SolidBrush b{Color(captionBackground_)};
            g.FillRectangle(&b, 0.0f, 0.0f, w, ch);
        }
        float x = 14;
        if (!icon_.empty()) {
            const float side = std::min(22.0f, ch - 8);
            draw::DrawPicture(g, icon_.c_str(), RectF(x, (ch - side) / 2, side, side), 0, 1, 0xFF2F6BFFu, false);
            x += side + 8;
        }
        if (!caption_.empty()) {
            if (auto* font = static_cast<Font*>(GetFont(fontSize_, TRUE, FALSE))) {
                StringFormat f;
                f.SetLineAlignment(StringAlignmentCenter);
                f.SetFormatFlags(StringFormatFlagsNoWrap);
                SolidBrush b{Color(captionColor_)};
                g.DrawString(caption_.c_str(), static_cast<INT>(caption_.size()), font, RectF(x, 0, w - x, ch), &f, &b);
            }
        }
    }
    if (border_ >> 24) draw::StrokeRoundRect(g, RectF(0, 0, w, h), 0, border_, 1.0f);
}

void EngineWindow::PaintNode(Graphics& g, IControlNode* node) {
    if (!node->IsShown()) return;
    UifPaintContext ctx{};
    ctx.graphics = &g;
    node->GetUnitRect(&ctx.x, &ctx.y, &ctx.w, &ctx.h);
    ctx.hot = node == hot_;
    ctx.pressed = node == pressed_ && node == hot_;
    node->Paint(&ctx);
    for (int i = 0; i < node->ChildCount(); ++i) PaintNode(g, node->ChildAt(i));
}

void EngineWindow::DestroyTree(IControlNode* node) {
    if (!node) return;
    for (int i = 0; i < node->ChildCount(); ++i) DestroyTree(node->ChildAt(i));
    node->Destroy();
}

void EngineWindow::Teardown() {
    HWND hwnd = hwnd_.load();
    if (hwnd) {
        if (timerOn_) ::KillTimer(hwnd, kFrameTimer);
        timerOn_ = false;
        if (::GetCapture() == hwnd) ::ReleaseCapture();
        if (::GetWindowLongPtrW(hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&EngineWindow::Proc) ||
            !::GetPropW(hwnd, kOriginalProp)) {
            if (original_) ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
            ::RemovePropW(hwnd, kOriginalProp);
            ::RemovePropW(hwnd, kProp);
        } else {
            // Someone hooked the window after us: keep forwarding through our procedure, for
            // good, so this module must stay loaded.
            ::RemovePropW(hwnd, kProp);
            HMODULE forever;
            ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                 reinterpret_cast<LPCWSTR>(&EngineWindow::Proc), &forever);
        }
        ::InvalidateRect(hwnd, nullptr, TRUE);
    }
    IControlNode* root;
    {
        // Automation reads the tree under the lock from its own thread: take the tree away first.
        Hold hold(lock_);
        hwnd_.store(nullptr);
        opened_.store(false);
        root = root_;
        root_ = nullptr;
        skinDisabled_.clear();
    }
    hot_ = pressed_ = nullptr;
    DestroyTree(root);
    fonts_.clear();
    DropBackBuffer();
    fontDc_.reset();
    editBrush_.reset();
}

void EngineWindow::DropBackBuffer() {
    if (bufferDc_) ::SelectObject(bufferDc_.get(), bufferOld_);
    bufferOld_ = nullptr;
    bufferDc_.reset();
    buffer_.reset();
}

void EngineWindow::Release() {
    HWND hwnd = hwnd_.load();
    if (hwnd && ::IsWindow(hwnd) && ::GetWindowThreadProcessId(hwnd, nullptr) != ::GetCurrentThreadId()) {
        // Controls own native children, which only their thread may destroy.
        DWORD_PTR done = 0;
        if (!::SendMessageTimeoutW(hwnd, ControlMessage(), kRelease, 0, SMTO_NORMAL, 5000, &done) || done != 1) {
            // The window's thread does not answer: the hook stays, so the engine stays loaded.
            HMODULE forever;
            ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                 reinterpret_cast<LPCWSTR>(&EngineWindow::Proc), &forever);
            // It stays on the kernel's list, which keeps GDI+ and the controls loaded for it.
            return;
        }
    } else {
        Teardown();
    }
    kernel_.Forget(this);
    // Lets go after the object is gone. The caller holds its own reference to this module while
    // it calls in, so this never unloads the code still running.
    const TVSP::unique_hmodule pin = std::move(pin_);
    delete this;
}

bool EngineWindow::Describe(automation::WindowInfo* info, bool withControls) {
    if (!opened_.load()) return false;
    Hold hold(lock_);
    HWND hwnd = hwnd_.load();
    if (!opened_.load() || !hwnd || !root_) return false;
    info->name = name_;
    info->hwnd = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(hwnd));
    if (!withControls) return true;
    info->visible = ::IsWindowVisible(hwnd) != FALSE;
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    info->rect[0] = r.left;
    info->rect[1] = r.top;
    info->rect[2] = r.right;
    info->rect[3] = r.bottom;
    for (int i = 0; i < root_->ChildCount(); ++i) {
        IControlNode* child = root_->ChildAt(i);
        if (!child->Face()->IsUsable()) continue;  // as lookups skip it, with its subtree
        info->controls.emplace_back();
        DescribeNode(child, &info->controls.back());
    }
    return true;
}

void EngineWindow::DescribeNode(IControlNode* node, automation::ControlInfo* info) {
    IControlBase* face = node->Face();
    info->name = face->GetName();
    info->kind = KindName(static_cast<ControlKind>(face->GetKind()));
    info->visible = face->IsVisible() != FALSE;
    info->enabled = skinDisabled_.count(node) == 0;
    if (auto* b = UifCast<ICtrlButton>(face)) {
        info->enabled = b->IsEnabled() != FALSE;
        info->checked = b->IsChecked() != FALSE;
    } else if (auto* c = UifCast<ICtrlCheckBox>(face)) {
        info->enabled = c->IsEnabled() != FALSE;
        info->checked = c->IsChecked() != FALSE;
    } else if (auto* r = UifCast<ICtrlRadioBox>(face)) {
        info->checked = r->IsChecked() != FALSE;
    } else if (auto* e = UifCast<ICtrlEditBox>(face)) {
        info->enabled = e->IsEnabled() != FALSE;
    } else if (auto* l = UifCast<ICtrlLink>(face)) {
        info->enabled = l->IsEnabled() != FALSE;
    } else if (auto* p = UifCast<ICtrlProgressBar>(face)) {
        info->value = p->GetPosition();
    }
    // The text as the host reads it (thread ANSI code page), handed on as UTF-8.
    const int n = face->GetText(nullptr, 0);
    if (n > 0) {
        std::string ansi(static_cast<size_t>(n) + 1, '\0');
        const int got = face->GetText(ansi.data(), n + 1);
        ansi.resize(static_cast<size_t>(std::clamp(got, 0, n)));
        info->text = TVSP::WideToUtf8(TVSP::AnsiToWide(ansi));
    }
    RECT b{};
    face->GetBounds(&b);
    info->rect[0] = b.left;
    info->rect[1] = b.top;
    info->rect[2] = b.right;
    info->rect[3] = b.bottom;
    for (int i = 0; i < node->ChildCount(); ++i) {
        IControlNode* child = node->ChildAt(i);
        if (!child->Face()->IsUsable()) continue;
        info->children.emplace_back();
        DescribeNode(child, &info->children.back());
    }
}

bool EngineWindow::RequestAction(automation::Verb verb, const std::string& control, std::string* error) {
    Hold hold(lock_);
    HWND hwnd = hwnd_.load();
    if (!opened_.load() || !hwnd || !root_) return *error = "window '" + name_ + "' is closed", false;
    IControlBase* face = FindControl(control.c_str());
    IControlNode* node = face ? FindNodeOf(root_, face) : nullptr;
    if (!node) return *error = "no control '" + control + "' in window '" + name_ + "'", false;
    const int kind = face->GetKind();
    const char* kindName = KindName(static_cast<ControlKind>(kind));
    const bool fits = verb == automation::Verb::Click    ? kind == UIF_KIND_BUTTON || kind == UIF_KIND_LINK
                      : verb == automation::Verb::Choose ? kind == UIF_KIND_RADIO
                                                         : kind == UIF_KIND_CHECK;
    if (!fits) {
        const char* wanted = verb == automation::Verb::Click ? "click takes a button or a link"
                             : verb == automation::Verb::Choose ? "choose takes a radio box"
                                                                : "toggle takes a check box";
        return *error = std::string(wanted) + "; '" + control + "' is a " + kindName, false;
    }
    if (!GetEffectiveVisible(node)) return *error = "'" + control + "' is hidden", false;
    if (node->GetHitKind() != IControlNode::HitClick) return *error = "'" + control + "' is disabled", false;
    if (!::IsWindowEnabled(hwnd)) return *error = "window '" + name_ + "' is disabled (a modal window is open?)", false;
    // Run on the window's thread, as a click is; the caller does not wait for the handler,
    // which may open a modal box.
    if (!::PostMessageW(hwnd, ControlMessage(), kAutomationAction, reinterpret_cast<LPARAM>(node))) {
        return *error = "cannot reach the window's thread (error " + std::to_string(::GetLastError()) + ")", false;
    }
    return true;
}

}  // namespace uifeature
