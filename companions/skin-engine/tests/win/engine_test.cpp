// Skin engine under Wine: loading and refusing skins, lookups, checked downcasts, clicks and
// their control messages, setters from worker threads, drawing, font fallback, screenshots.
#include <gtest/gtest.h>

#include "testing/wine/window_capture.h"
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "uifeature/ui_kernel.h"
#include "companions/skin-engine/kernel/font_factory.h"
#include "base/win/handle.h"
#include "testing/wine/window_test_support.h"

namespace {

using tvsp::ExeFolder;
using tvsp::Pump;

std::wstring Skin(const wchar_t* name) { return ExeFolder() + L"\\skins\\" + name; }

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    ::CloseHandle(f);
}

// The host side of a skin window: records what the engine sends it.
struct HostLog {
    std::vector<std::pair<UINT, WPARAM>> messages;
};
HostLog g_host;

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == UIF_WM_SHOW || msg == UIF_WM_SYSCOMMAND) g_host.messages.emplace_back(msg, wp);
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

HWND MakeHost(int w = 600, int h = 400) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"EngineTestHost";
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        registered = ::RegisterClassW(&wc) != 0;
    }
    return ::CreateWindowExW(0, L"EngineTestHost", L"host", WS_POPUP, 20, 20, w, h, nullptr, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

struct Recorder final : IControlMessage {
    struct Event {
        IControlBase* sender;
        int code;
        WPARAM v1;
        LPARAM v2;
    };
    std::vector<Event> events;
    int UIF_CALL OnControlMessage(IControlBase* sender, int code, WPARAM v1, LPARAM v2) override {
        events.push_back({sender, code, v1, v2});
        return 0;
    }
};

std::string TextOf(IControlBase* c) {
    const int n = c->GetText(nullptr, 0);
    std::string s(static_cast<size_t>(n) + 1, '\0');
    c->GetText(s.data(), n + 1);
    s.resize(static_cast<size_t>(n));
    return s;
}

POINT Centre(IControlBase* c) {
    RECT r;
    c->GetBounds(&r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void Press(HWND hwnd, POINT down, POINT up) {
    ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(down.x, down.y));
    ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(down.x, down.y));
    ::SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(up.x, up.y));
}
void Click(HWND hwnd, IControlBase* c) { Press(hwnd, Centre(c), Centre(c)); }

class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = ::LoadLibraryW((ExeFolder() + L"\\UiFeatureKernel.dll").c_str());
        ASSERT_NE(module_, nullptr);
        auto get = reinterpret_cast<UifGetUiKernelInterfaceFn>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module_, kUifKernelExport)));
        ASSERT_NE(get, nullptr);
        kernel_ = get();
        ASSERT_NE(kernel_, nullptr);
        engine_ = kernel_->GetEngine();
        ASSERT_NE(engine_, nullptr);
        engine_->SetScaleOverride(100);
        g_host.messages.clear();
    }
    void TearDown() override {
        for (IUiSkinWindow* w : windows_) w->Release();
        for (HWND h : hosts_) ::DestroyWindow(h);
        Pump();
        if (module_) ::FreeLibrary(module_);
    }

    IUiSkinWindow* Open(const wchar_t* skin, const char* window, HWND* hostOut = nullptr, int w = 600, int h = 400) {
        HWND host = MakeHost(w, h);
        hosts_.push_back(host);
        IUiSkinWindow* sw = kernel_->OpenSkinWindow(host, skin, window);
        if (sw) windows_.push_back(sw);
        if (hostOut) *hostOut = host;
        return sw;
    }

    HMODULE module_ = nullptr;
    IUiKernel* kernel_ = nullptr;
    IUiEngine* engine_ = nullptr;
    std::vector<IUiSkinWindow*> windows_;
    std::vector<HWND> hosts_;
};

TEST_F(Engine, OpensASkinAndPostsShowOnce) {
    EXPECT_EQ(engine_->GetVersion(), 0x0100);
    EXPECT_FALSE(kernel_->HasEngineInstance());
    EXPECT_STREQ(kernel_->GetSkinPath(), L"");
    HWND host;
    IUiSkinWindow* w = Open(Skin(L"demo.ufd").c_str(), "DEMO", &host);
    ASSERT_NE(w, nullptr) << engine_->GetLastError();
    EXPECT_STREQ(w->GetName(), "demo");
    EXPECT_EQ(w->GetHostWindow(), host);
    EXPECT_TRUE(kernel_->HasEngineInstance());
    EXPECT_EQ(std::wstring(kernel_->GetSkinPath()), Skin(L"demo.ufd"));
    int width = 0, height = 0;
    w->GetNaturalSize(&width, &height);
    EXPECT_EQ(width, 600);
    EXPECT_EQ(height, 400);
    Pump();
    ASSERT_EQ(g_host.messages.size(), 1u);
    EXPECT_EQ(g_host.messages[0].first, static_cast<UINT>(UIF_WM_SHOW));
    // A second skin on the same window is refused.
    EXPECT_EQ(kernel_->OpenSkinWindow(host, Skin(L"demo.ufd").c_str(), "tree"), nullptr);

    w->Release();
    windows_.clear();
    EXPECT_FALSE(kernel_->HasEngineInstance());
    EXPECT_STREQ(kernel_->GetSkinPath(), L"");
}

TEST_F(Engine, RefusesBadSkinsWithAClearReason) {
    const std::wstring dir = ExeFolder() + L"\\skins\\";
    struct Row {
        const wchar_t* file;
        const char* content;  // null: do not create
        const char* window;
        const char* reason;
    };
    const Row rows[] = {
        {L"absent.ufd", nullptr, "demo", "cannot open (error 2)"},
        {L"malformed.ufd", "<skin version='1'>\n<window name='w' width='1' height='1'>\n</skin>", "w",
         "line 3: end tag does not match the start tag"},
        {L"unknown-kind.ufd", "<skin><window name='w' width='9' height='9'>\n\n<slider name='s' rect='0,0,1,1'/></window></skin>",
         "w", "line 3: unknown control kind 'slider'"},
        {L"empty.ufd", "", "w", "line 1: no root element"},
        {L"binary.ufd", "<skin>\n\x89PNG\r\n\x1a\n\xff\xfe", "w", "line 2: not valid UTF-8"},
        {L"nowindow.ufd", "<skin><window name='w' width='9' height='9'/></skin>", "other", "no window named 'other'"},
    };
    for (const Row& row : rows) {
        const std::wstring path = dir + row.file;
        if (row.content) WriteBytes(path, row.content);
        EXPECT_EQ(Open(path.c_str(), row.window), nullptr) << row.reason;
        const std::string error = engine_->GetLastError();
        EXPECT_NE(error.find(row.reason), std::string::npos) << error;
        EXPECT_NE(error.find(std::string(row.file, row.file + wcslen(row.file)).substr(0, 4)), std::string::npos) << error;
    }
    EXPECT_FALSE(kernel_->HasEngineInstance());
    // Nothing but plain failures for missing arguments.
    EXPECT_EQ(kernel_->OpenSkinWindow(nullptr, Skin(L"demo.ufd").c_str(), "demo"), nullptr);
    HWND host = MakeHost();
    hosts_.push_back(host);
    EXPECT_EQ(kernel_->OpenSkinWindow(host, nullptr, "demo"), nullptr);
    EXPECT_EQ(kernel_->OpenSkinWindow(host, Skin(L"demo.ufd").c_str(), nullptr), nullptr);
    // After all that, a good skin still opens.
    EXPECT_NE(Open(Skin(L"demo.ufd").c_str(), "demo"), nullptr) << engine_->GetLastError();
    EXPECT_STREQ(engine_->GetLastError(), "");
}

TEST_F(Engine, FindsDepthFirstWithoutCaseSkippingUnusableSubtrees) {
    IUiSkinWindow* w = Open(Skin(L"demo.ufd").c_str(), "tree");
    ASSERT_NE(w, nullptr) << engine_->GetLastError();
    // Top-level controls come first, even when a nested one of that name comes earlier.
    IControlBase* dup = w->FindControl("DUP");
    ASSERT_NE(dup, nullptr);
    EXPECT_EQ(TextOf(dup), "top-level");
    // A panel whose background image is missing is unusable, and so is everything in it.
    EXPECT_EQ(w->FindControl("broken"), nullptr);
    EXPECT_EQ(w->FindControl("inner"), nullptr);
    EXPECT_EQ(w->FindControl("broken-image"), nullptr);

    IControlBase* outer = w->FindControl("outer");
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(outer->FindDescendant("outer"), nullptr);  // not itself
    IControlBase* target = outer->FindDescendant("tArGeT");
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->GetKind(), UIF_KIND_STATIC);  // the first in depth-first order
    EXPECT_EQ(TextOf(target), "first-match");
    EXPECT_STREQ(target->GetName(), "Target");
    EXPECT_EQ(outer->FindDescendant("dup"), outer->FindDescendant("first")->FindDescendant("DUP"));
    EXPECT_EQ(outer->FindDescendant(""), nullptr);
    EXPECT_EQ(outer->FindDescendant(nullptr), nullptr);
    EXPECT_EQ(outer->FindDescendant("nothing"), nullptr);
    EXPECT_EQ(w->FindControl("nothing"), nullptr);
}

TEST_F(Engine, DowncastsOnlyToTheControlsOwnKind) {
    IUiSkinWindow* w = Open(Skin(L"demo.ufd").c_str(), "clicks");
    ASSERT_NE(w, nullptr) << engine_->GetLastError();
    IControlBase* ok = w->FindControl("ok");
    IControlBase* bar = w->FindControl("bar");
    IControlBase* r1 = w->FindControl("r1");
    IControlBase* c1 = w->FindControl("c1");
    IControlBase* l1 = w->FindControl("l1");
    IControlBase* e1 = w->FindControl("e1");
    IControlBase* drag = w->FindControl("drag");
    ASSERT_TRUE(ok && bar && r1 && c1 && l1 && e1 && drag);
    EXPECT_NE(UifCast<ICtrlButton>(ok), nullptr);
    EXPECT_NE(UifCast<ICtrlProgressBar>(bar), nullptr);
    EXPECT_NE(UifCast<ICtrlRadioBox>(r1), nullptr);
    EXPECT_NE(UifCast<ICtrlCheckBox>(c1), nullptr);
    EXPECT_NE(UifCast<ICtrlLink>(l1), nullptr);
    EXPECT_NE(UifCast<ICtrlEditBox>(e1), nullptr);
    EXPECT_NE(UifCast<ICtrlPanel>(drag), nullptr);
    // Wrong kinds are refused, including the look-alikes.
    EXPECT_EQ(UifCast<ICtrlButton>(r1), nullptr);
    EXPECT_EQ(UifCast<ICtrlButton>(c1), nullptr);
    EXPECT_EQ(UifCast<ICtrlRadioBox>(c1), nullptr);
    EXPECT_EQ(UifCast<ICtrlStaticBox>(ok), nullptr);
    EXPECT_EQ(UifCast<ICtrlPanel>(bar), nullptr);
    EXPECT_EQ(UifCast<ICtrlProgressBar>(nullptr), nullptr);
    // And the cast really lands on the right object.
    UifCast<ICtrlProgressBar>(bar)->SetPosition(77);
    EXPECT_EQ(UifCast<ICtrlProgressBar>(bar)->GetPosition(), 77);
    UifCast<ICtrlProgressBar>(bar)->SetPosition(1000);
    EXPECT_EQ(UifCast<ICtrlProgressBar>(bar)->GetPosition(), 100);
    UifCast<ICtrlProgressBar>(bar)->SetPosition(-5);
    EXPECT_EQ(UifCast<ICtrlProgressBar>(bar)->GetPosition(), 0);
}

TEST_F(Engine, ClicksProduceTheirControlMessages) {
    HWND host;
    IUiSkinWindow* w = Open(Skin(L"demo.ufd").c_str(), "clicks", &host, 400, 300);
    ASSERT_NE(w, nullptr) << engine_->GetLastError();
    Recorder rec;
    w->SetControlMessage(&rec);
    auto* r1 = UifCast<ICtrlRadioBox>(w->FindControl("r1"));
    auto* r2 = UifCast<ICtrlRadioBox>(w->FindControl("r2"));
    auto* r3 = UifCast<ICtrlRadioBox>(w->FindControl("r3"));
    auto* c1 = UifCast<ICtrlCheckBox>(w->FindControl("c1"));
    ASSERT_TRUE(r1 && r2 && r3 && c1);

    struct Row {
        const char* control;
        int code;
        WPARAM v1;
    };
    const Row rows[] = {
        {"ok", UIF_MSG_BUTTON_CLICKED, 0},
        {"OTHER", UIF_MSG_BUTTON_CLICKED, 0},
        {"inDrag", UIF_MSG_BUTTON_CLICKED, 0},
        {"r1", UIF_MSG_RADIO_CHOSEN, 1},
        {"c1", UIF_MSG_CHECK_CHANGED, 1},
        {"c1", UIF_MSG_CHECK_CHANGED, 0},
        {"l1", UIF_MSG_LINK_CLICKED, 0},
    };
    for (const Row& row : rows) {
        rec.events.clear();
        IControlBase* c = w->FindControl(row.control);
        ASSERT_NE(c, nullptr) << row.control;
        Click(host, c);
        ASSERT_EQ(rec.events.size(), 1u) << row.control;
        EXPECT_EQ(rec.events[0].sender, c) << row.control;
        EXPECT_EQ(rec.events[0].code, row.code) << row.control;
        EXPECT_EQ(rec.events[0].v1, row.v1) << row.control;
    }
    // The radio box chosen unchecked its group only.
    EXPECT_TRUE(r1->IsChecked());
    EXPECT_FALSE(r2->IsChecked());
    EXPECT_TRUE(r3->IsChecked());
    r2->SetChecked(TRUE);
    EXPECT_FALSE(r1->IsChecked());
    EXPECT_FALSE(c1->IsChecked());

    // Nothing for a disabled button, a press that ends elsewhere, static areas, or an
    // enabled button after it was disabled.
    rec.events.clear();
    Click(host, w->FindControl("off"));
    Press(host, Centre(w->FindControl("ok")), Centre(w->FindControl("other")));
    Press(host, POINT{5, 250}, POINT{5, 250});
    auto* ok = UifCast<ICtrlButton>(w->FindControl("ok"));
    ok->SetEnabled(FALSE);
    EXPECT_FALSE(ok->IsEnabled());
    Click(host, ok);
    EXPECT_TRUE(rec.events.empty());
    ok->SetEnabled(TRUE);
    Click(host, ok);
    EXPECT_EQ(rec.events.size(), 1u);
    // A hidden control takes no clicks.
    rec.events.clear();
    ok->SetVisible(FALSE, TRUE);
    Click(host, ok);
    EXPECT_TRUE(rec.events.empty());

    // The caption close button asks the host window to close (0x8209, SC_CLOSE).
    g_host.messages.clear();
    Click(host, w->FindControl("close"));
    EXPECT_TRUE(rec.events.empty());
    ASSERT_EQ(g_host.messages.size(), 1u);
    EXPECT_EQ(g_host.messages[0].first, static_cast<UINT>(UIF_WM_SYSCOMMAND));
    EXPECT_EQ(g_host.messages[0].second, static_cast<WPARAM>(SC_CLOSE));
}

TEST_F(Engine, CaptionAndDragAreasMoveTheWindow) {
    HWND host;
    IUiSkinWindow* w = Open(Skin(L"demo.ufd").c_str(), "clicks", &host, 400, 300);
    ASSERT_NE(w, nullptr) << engine_->GetLastError();
    auto hit = [&](int x, int y) {
        POINT p{x, y};
        ::ClientToScreen(host, &p);
        return ::SendMessageW(host, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    };
    EXPECT_EQ(hit(100, 10), HTCAPTION);   // caption band
    EXPECT_EQ(hit(100, 39), HTCAPTION);   // its last row
    EXPECT_EQ(hit(100, 40), HTCLIENT);    // the row below
    EXPECT_EQ(hit(376, 20), HTCLIENT);    // the close button in the caption
    EXPECT_EQ(hit(50, 280), HTCAPTION);   // a drag panel
    EXPECT_EQ(hit(340, 280), HTCLIENT);   // a button on the drag panel
    EXPECT_EQ(hit(70, 78), HTCLIENT);     // a button
}

TEST_F(Engine, SettersFromWorkersOnlyInvalidateAndNeverBlockOnTheWindow) {
    HWND host;
    IUiSkinWindow* w = Open(Skin(L"demo.ufd").c_str(), "clicks", &host, 400, 300);
    ASSERT_NE(w, nullptr) << engine_->GetLastError();
    ::ShowWindow(host, SW_SHOWNA);
    ::UpdateWindow(host);
    Pump(50);
    RECT dirty;
    ASSERT_FALSE(::GetUpdateRect(host, &dirty, FALSE));

    auto* bar = UifCast<ICtrlProgressBar>(w->FindControl("bar"));
    auto* ok = UifCast<ICtrlButton>(w->FindControl("ok"));
    auto* c1 = UifCast<ICtrlCheckBox>(w->FindControl("c1"));
    IControlBase* e1 = w->FindControl("e1");
    ASSERT_TRUE(bar && ok && c1 && e1);

    // The window thread does not pump while the worker runs: a setter that sent a message to
    // the window, or painted through it, would hang here.
    std::atomic<int> done{0};
    std::thread worker([&] {
        for (int i = 0; i <= 2000; ++i) {
            bar->SetPosition(i % 101);
            ok->SetText(i % 2 ? "\xB5\xDA\xD2\xBB" : "\xB5\xDA\xB6\xFE");  // GBK "第一" / "第二"
            ok->SetChecked(i % 2, TRUE);
            c1->SetChecked(i % 3 == 0, TRUE);
            e1->SetText("C:\\Tarvo");
            ok->SetVisible(i % 5 != 0, TRUE);
        }
        done = 1;
    });
    const DWORD start = ::GetTickCount();
    while (!done && ::GetTickCount() - start < 20000) ::Sleep(1);
    worker.join();
    ASSERT_EQ(done.load(), 1) << "a setter blocked on the window thread";
    // Repaints are requested, not done: the window has a pending update region.
    EXPECT_TRUE(::GetUpdateRect(host, &dirty, FALSE));
    EXPECT_EQ(bar->GetPosition(), 2000 % 101);
    EXPECT_EQ(TextOf(ok), "\xB5\xDA\xB6\xFE");
    EXPECT_FALSE(ok->IsChecked());
    EXPECT_FALSE(c1->IsChecked());  // 2000 % 3 != 0
    EXPECT_FALSE(ok->IsVisible());  // 2000 % 5 == 0
    // Readers on many threads at once while the window paints.
    std::vector<std::thread> readers;
    std::atomic<bool> stop{false};
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            while (!stop) {
                (void)TextOf(ok);
                (void)bar->GetPosition();
                ok->Redraw();
            }
        });
    }
    Pump(300);
    stop = true;
    for (auto& t : readers) t.join();
    Pump(50);
    EXPECT_FALSE(::GetUpdateRect(host, &dirty, FALSE));  // all painted by now

    // The native edit follows on the window thread; what the user types reads back anywhere.
    HWND edit = ::FindWindowExW(host, nullptr, L"Edit", nullptr);
    ASSERT_NE(edit, nullptr);
    wchar_t text[64] = {};
    ::GetWindowTextW(edit, text, 64);
    EXPECT_STREQ(text, L"C:\\Tarvo");
    ::SetWindowTextW(edit, L"D:\\\x5B89\x88C5");  // D:\安装
    std::string typed;
    std::thread([&] { typed = TextOf(e1); }).join();
    EXPECT_EQ(typed, "D:\\\xB0\xB2\xD7\xB0");  // GBK
}

// Colour distance, for checks on drawn pixels.
int Distance(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
           std::abs(GetBValue(a) - GetBValue(b));
}

TEST_F(Engine, DrawsProgressButtonsAndHoverIntoTheWindow) {
    HWND host;
    IUiSkinWindow* w = Open(Skin(L"demo.ufd").c_str(), "clicks", &host, 400, 300);
    ASSERT_NE(w, nullptr) << engine_->GetLastError();
    ::ShowWindow(host, SW_SHOWNA);
    Pump(100);
    ::RedrawWindow(host, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = ::GetDC(host);
    RECT bar;
    w->FindControl("bar")->GetBounds(&bar);  // 50 %
    const int y = (bar.top + bar.bottom) / 2;
    const COLORREF filled = ::GetPixel(dc, bar.left + (bar.right - bar.left) / 4, y);
    const COLORREF empty = ::GetPixel(dc, bar.left + (bar.right - bar.left) * 3 / 4, y);
    EXPECT_GT(GetBValue(filled), GetRValue(filled) + 60) << std::hex << filled;  // accent blue
    EXPECT_LT(Distance(empty, RGB(0xE4, 0xE9, 0xF2)), 30) << std::hex << empty;  // track grey
    UifCast<ICtrlProgressBar>(w->FindControl("bar"))->SetPosition(100);
    Pump(50);
    EXPECT_GT(GetBValue(::GetPixel(dc, bar.left + (bar.right - bar.left) * 3 / 4, y)), 200);

    // A primary button, then the same spot hovered: lighter.
    IControlBase* ok = w->FindControl("ok");
    RECT b;
    ok->GetBounds(&b);
    const POINT spot{b.left + 6, (b.top + b.bottom) / 2};
    const COLORREF normal = ::GetPixel(dc, spot.x, spot.y);
    EXPECT_LT(Distance(normal, RGB(0x2F, 0x6B, 0xFF)), 30) << std::hex << normal;
    ::SendMessageW(host, WM_MOUSEMOVE, 0, MAKELPARAM(spot.x, spot.y));
    Pump(400);  // the hover fade runs on the frame timer
    const COLORREF hover = ::GetPixel(dc, spot.x, spot.y);
    EXPECT_GT(GetRValue(hover), GetRValue(normal) + 10) << std::hex << hover;
    // Pressed: darker than normal.
    ::SendMessageW(host, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(spot.x, spot.y));
    Pump(50);
    const COLORREF pressed = ::GetPixel(dc, spot.x, spot.y + 1);
    EXPECT_LT(GetBValue(pressed) + GetGValue(pressed), GetBValue(normal) + GetGValue(normal)) << std::hex << pressed;
    ::SendMessageW(host, WM_LBUTTONUP, 0, MAKELPARAM(spot.x, spot.y));
    ::ReleaseDC(host, dc);
}

TEST_F(Engine, ScalesToTheDisplay) {
    engine_->SetScaleOverride(200);
    EXPECT_EQ(engine_->GetScalePercent(), 200);
    IUiSkinWindow* w = Open(Skin(L"demo.ufd").c_str(), "clicks", nullptr, 800, 600);
    ASSERT_NE(w, nullptr) << engine_->GetLastError();
    int width, height;
    w->GetNaturalSize(&width, &height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    RECT r;
    w->FindControl("ok")->GetBounds(&r);  // 20,60,100,36 in 96-DPI units
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 120);
    EXPECT_EQ(r.right, 240);
    EXPECT_EQ(r.bottom, 192);
    engine_->SetScaleOverride(150);
    IUiSkinWindow* w2 = Open(Skin(L"demo.ufd").c_str(), "demo");
    ASSERT_NE(w2, nullptr);
    w2->GetNaturalSize(&width, &height);
    EXPECT_EQ(width, 900);
    EXPECT_EQ(height, 600);
}

TEST_F(Engine, ReleaseGivesTheWindowBackBeforeUnloading) {
    HWND host = MakeHost();
    hosts_.push_back(host);
    const LONG_PTR before = ::GetWindowLongPtrW(host, GWLP_WNDPROC);
    IUiSkinWindow* w = kernel_->OpenSkinWindow(host, Skin(L"demo.ufd").c_str(), "clicks");
    ASSERT_NE(w, nullptr);
    EXPECT_NE(::GetWindowLongPtrW(host, GWLP_WNDPROC), before);
    w->Release();
    EXPECT_EQ(::GetWindowLongPtrW(host, GWLP_WNDPROC), before);
    EXPECT_EQ(::FindWindowExW(host, nullptr, L"Edit", nullptr), nullptr);  // native parts gone
    // With the engine unloaded the window still handles messages.
    ::FreeLibrary(module_);
    module_ = nullptr;
    EXPECT_EQ(::GetModuleHandleW(L"UiFeatureKernel.dll"), nullptr);
    ::SendMessageW(host, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    ::RedrawWindow(host, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

TEST_F(Engine, WindowsDestroyedFirstLeaveTheirControlsSafe) {
    HWND host;
    IUiSkinWindow* w = Open(Skin(L"demo.ufd").c_str(), "clicks", &host, 400, 300);
    ASSERT_NE(w, nullptr);
    IControlBase* ok = w->FindControl("ok");
    ::DestroyWindow(host);
    // A late worker call after the window went: state only, no crash, no window.
    ok->SetText("late");
    ok->Redraw();
    EXPECT_EQ(TextOf(ok), "late");
    EXPECT_EQ(w->GetHostWindow(), nullptr);
    EXPECT_FALSE(ok->IsUsable());
    EXPECT_EQ(w->FindControl("ok"), nullptr);
    EXPECT_FALSE(kernel_->HasEngineInstance());
}

// Counts pixels that differ from the white background after drawing text.
int InkOf(Gdiplus::Font* font, const wchar_t* text) {
    Gdiplus::Bitmap bmp(200, 60, PixelFormat32bppARGB);
    Gdiplus::Graphics g(&bmp);
    g.Clear(Gdiplus::Color(255, 255, 255, 255));
    Gdiplus::SolidBrush black(Gdiplus::Color(255, 0, 0, 0));
    g.DrawString(text, -1, font, Gdiplus::PointF(2, 2), &black);
    int ink = 0;
    for (UINT y = 0; y < 60; ++y) {
        for (UINT x = 0; x < 200; ++x) {
            Gdiplus::Color c;
            bmp.GetPixel(static_cast<INT>(x), static_cast<INT>(y), &c);
            ink += c.GetR() < 128;
        }
    }
    return ink;
}

class Fonts : public ::testing::Test {
protected:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput in;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &in, nullptr), Gdiplus::Ok);
        dc_ = ::CreateCompatibleDC(nullptr);
    }
    void TearDown() override {
        ::DeleteDC(dc_);
        Gdiplus::GdiplusShutdown(token_);
    }
    ULONG_PTR token_ = 0;
    HDC dc_ = nullptr;
};

TEST_F(Fonts, ChineseTextNeverVanishes) {
    struct Row {
        std::vector<std::wstring> faces;
        const wchar_t* notFace;  // a face that must not be taken
    };
    const Row rows[] = {
        {{L"Microsoft YaHei"}, nullptr},
        {{L"TvspNoSuchFace", L"Microsoft YaHei"}, nullptr},
        {{L"DejaVu Sans", L"Microsoft YaHei"}, L"DejaVu Sans"},  // no Chinese glyphs: only a reserve
        {{L"DejaVu Sans"}, L"DejaVu Sans"},                      // an installed Chinese family wins
        {{L"TvspNoSuchFace"}, nullptr},
        {{}, nullptr},
        {{L"", std::wstring(40, L'x')}, nullptr},                // unusable names are skipped
    };
    for (const Row& row : rows) {
        std::wstring used;
        const std::unique_ptr<Gdiplus::Font> f = uifeature::CreateUiFont(dc_, row.faces, 20, false, false, &used);
        ASSERT_NE(f, nullptr);
        EXPECT_FALSE(used.empty());
        if (row.notFace) {
            EXPECT_NE(used, row.notFace);
        }
        EXPECT_GT(InkOf(f.get(), L"\x56FA\x4EF6\x5347\x7EA7"), 40) << std::string(used.begin(), used.end());  // 固件升级
        EXPECT_GT(InkOf(f.get(), L"Tarvo"), 20);
    }
}

// The GDI owners the engine keeps its back buffer, font DC and brushes in: each object is gone
// once its owner lets go, including a bitmap that was selected into a DC which went first (as
// the engine's back buffer is laid out).
TEST(GdiOwners, LetGoOfWhatTheyHold) {
    HBRUSH brush;
    {
        const TVSP::unique_hbrush owner(::CreateSolidBrush(RGB(1, 2, 3)));
        brush = owner.get();
        ASSERT_EQ(::GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
    }
    EXPECT_EQ(::GetObjectType(brush), 0u);

    HDC dc;
    HBITMAP bitmap;
    {
        TVSP::unique_hbitmap bitmapOwner;
        TVSP::unique_hdc dcOwner(::CreateCompatibleDC(nullptr));
        ASSERT_TRUE(dcOwner);
        bitmapOwner.reset(::CreateCompatibleBitmap(dcOwner.get(), 8, 8));
        ASSERT_TRUE(bitmapOwner);
        dc = dcOwner.get();
        bitmap = bitmapOwner.get();
        ASSERT_NE(::SelectObject(dc, bitmap), nullptr);
        ASSERT_EQ(::GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
    }
    EXPECT_EQ(::GetObjectType(dc), 0u);
    EXPECT_EQ(::GetObjectType(bitmap), 0u);

    // Moving hands the object on; only the last owner frees it.
    HFONT font;
    TVSP::unique_hfont second;
    {
        TVSP::unique_hfont first(::CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial"));
        font = first.get();
        second = std::move(first);
        EXPECT_FALSE(first);
    }
    EXPECT_EQ(::GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
    second.reset();
    EXPECT_EQ(::GetObjectType(font), 0u);
}

TEST_F(Engine, DemoWindowScreenshots) {
    tvsp::GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.Ok());
    std::wstring out = tvsp::ScreenshotFolder();
    if (out.empty()) out = ExeFolder();
    for (int percent : {100, 200}) {
        engine_->SetScaleOverride(percent);
        HWND host;
        IUiSkinWindow* w = Open(Skin(L"demo.ufd").c_str(), "demo", &host);
        ASSERT_NE(w, nullptr) << engine_->GetLastError();
        int width, height;
        w->GetNaturalSize(&width, &height);
        ::SetWindowPos(host, HWND_TOP, 0, 0, width, height, SWP_SHOWWINDOW);
        Pump(600);
        const std::wstring file = out + L"\\skin-demo-" + std::to_wstring(percent) + L".png";
        EXPECT_TRUE(tvsp::SaveWindowPng(host, file));
        ::ShowWindow(host, SW_HIDE);
    }
}

}  // namespace
