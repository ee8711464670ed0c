// Window framework under Wine: skinned creation and centring, showing on the engine's messages,
// refused plain creation, the message table, destruction of calling-thread and own-thread windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "testing/wine/window_test_support.h"
#include "ui/uifeature_window.h"

namespace {

using tvsp::ExeFolder;
using tvsp::Pump;

std::wstring Kernel() { return ExeFolder() + L"\\UiFeatureKernel.dll"; }
std::wstring Skin() { return ExeFolder() + L"\\skins\\tiny.ufd"; }

// Records the slots the framework calls.
class Probe : public CUiFeatureWindow {
public:
    std::vector<std::string> calls;
    std::vector<int> codes;
    UINT_PTR lastTimer = 0;
    int sizeW = -1, sizeH = -1;
    bool controlsBound = false;

    void OnClose() override { calls.push_back("close"); }
    void OnCreated() override {
        calls.push_back("created");
        // Slot 7 binds controls: the skin is attached by now, the window still hidden.
        controlsBound = Find<ICtrlButton>("ok") != nullptr && !::IsWindowVisible(GetHandle());
    }
    void OnTimer(UINT_PTR id) override { lastTimer = id; }
    void OnSize(UINT, int w, int h) override {
        sizeW = w;
        sizeH = h;
    }
    void OnKeyDown(WPARAM key, LPARAM) override { calls.push_back("key" + std::to_string(key)); }
    int UIF_CALL OnControlMessage(IControlBase*, int code, WPARAM, LPARAM) override {
        codes.push_back(code);
        return 0;
    }
};

bool CreateProbe(Probe& p, int l = 0, int t = 0, int r = 0, int b = 0, const char* window = "plain",
                 bool ownThread = false) {
    return p.CreateSkinnedWindow(Kernel().c_str(), Skin().c_str(), window, nullptr, l, t, r, b, SW_SHOWNORMAL,
                                 0x40000, nullptr, ownThread);
}

TEST(Framework, NaturalSizeIsCentredOnTheWorkArea) {
    const TVSP::ScreenRect area{0, 0, 1920, 1040};
    CUiFeatureWindow::SetWorkAreaForTesting(&area);
    {
        Probe p;
        ASSERT_TRUE(CreateProbe(p));
        RECT r;
        ::GetWindowRect(p.GetHandle(), &r);
        EXPECT_EQ(r.left, 660);
        EXPECT_EQ(r.top, 320);
        EXPECT_EQ(r.right - r.left, 600);
        EXPECT_EQ(r.bottom - r.top, 400);
        const RECT stored = p.GetStoredRect();
        EXPECT_EQ(stored.left, 660);
        EXPECT_EQ(stored.bottom, 720);
    }
    CUiFeatureWindow::SetWorkAreaForTesting(nullptr);
    Pump();
    {
        // The real work area of this display.
        RECT work;
        ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
        Probe p;
        ASSERT_TRUE(CreateProbe(p));
        RECT r;
        ::GetWindowRect(p.GetHandle(), &r);
        EXPECT_EQ(r.left, work.left + (work.right - work.left - 600) / 2);
        EXPECT_EQ(r.top, work.top + (work.bottom - work.top - 400) / 2);
    }
    Pump();
    {
        // A given rectangle is used as it is.
        Probe p;
        ASSERT_TRUE(CreateProbe(p, 30, 40, 530, 440));
        RECT r;
        ::GetWindowRect(p.GetHandle(), &r);
        EXPECT_EQ(r.left, 30);
        EXPECT_EQ(r.top, 40);
        EXPECT_EQ(r.right, 530);
        EXPECT_EQ(r.bottom, 440);
    }
    Pump();
}

TEST(Framework, HiddenUntilTheEngineSaysShow) {
    Probe p;
    ASSERT_TRUE(CreateProbe(p));
    EXPECT_TRUE(p.controlsBound);
    EXPECT_EQ(p.calls, std::vector<std::string>{"created"});
    EXPECT_FALSE(::IsWindowVisible(p.GetHandle()));
    Pump();  // the engine's 0x8201 arrives
    EXPECT_TRUE(::IsWindowVisible(p.GetHandle()));
}

TEST(Framework, ShowIfZeroWithNonZeroWParamStaysHidden) {
    Probe p;
    ASSERT_TRUE(CreateProbe(p));
    MSG msg;
    // Take the engine's own show request out of the queue.
    ASSERT_TRUE(::PeekMessageW(&msg, p.GetHandle(), UIF_WM_SHOW, UIF_WM_SHOW, PM_REMOVE));
    ::SendMessageW(p.GetHandle(), UIF_WM_SHOW_IF_ZERO, 1, 0);
    EXPECT_FALSE(::IsWindowVisible(p.GetHandle()));
    ::SendMessageW(p.GetHandle(), UIF_WM_SHOW_IF_ZERO, 0xFFFF, 0);
    EXPECT_FALSE(::IsWindowVisible(p.GetHandle()));
    ::SendMessageW(p.GetHandle(), UIF_WM_SHOW_IF_ZERO, 0, 0);
    EXPECT_TRUE(::IsWindowVisible(p.GetHandle()));
}

TEST(Framework, PlainCreationIsRefused) {
    Probe p;
    EXPECT_FALSE(p.CreateOnCallingThread(L"x", nullptr, 0, 0, 100, 100, SW_SHOW, WS_POPUP, nullptr));
    EXPECT_FALSE(p.CreateOnOwnThread(L"x", nullptr, 0, 0, 100, 100, SW_SHOW, WS_POPUP, nullptr));
    EXPECT_EQ(p.GetHandle(), nullptr);
    EXPECT_TRUE(p.calls.empty());
}

TEST(Framework, SkinnedCreationFailures) {
    {
        Probe p;
        EXPECT_FALSE(p.CreateSkinnedWindow((ExeFolder() + L"\\NoSuchKernel.dll").c_str(), Skin().c_str(), "plain",
                                           nullptr, 0, 0, 0, 0, SW_SHOW, 0x40000, nullptr, false));
        EXPECT_EQ(p.GetHandle(), nullptr);
        EXPECT_FALSE(p.CreateSkinnedWindow(Kernel().c_str(), Skin().c_str(), nullptr, nullptr, 0, 0, 0, 0, SW_SHOW,
                                           0x40000, nullptr, false));
        EXPECT_FALSE(p.CreateSkinnedWindow(Kernel().c_str(), L"", "plain", nullptr, 0, 0, 0, 0, SW_SHOW, 0x40000,
                                           nullptr, false));
    }
    HWND left;
    {
        // A window name the skin lacks: the hidden native window stays until the object goes.
        Probe p;
        EXPECT_FALSE(CreateProbe(p, 0, 0, 0, 0, "missing"));
        left = p.GetHandle();
        ASSERT_NE(left, nullptr);
        EXPECT_FALSE(::IsWindowVisible(left));
        EXPECT_TRUE(p.calls.empty());
    }
    Pump();  // the WM_CLOSE posted by the destructor reaches the default procedure
    EXPECT_FALSE(::IsWindow(left));
}

TEST(Framework, MessageTableReachesTheSlots) {
    Probe p;
    ASSERT_TRUE(CreateProbe(p));
    HWND h = p.GetHandle();
    EXPECT_EQ(::SendMessageW(h, WM_NCCALCSIZE, FALSE, 0), 0);
    EXPECT_EQ(::SendMessageW(h, WM_NCACTIVATE, TRUE, 0), 15);
    EXPECT_EQ(::SendMessageW(h, WM_NCPAINT, 1, 0), 15);
    EXPECT_EQ(::SendMessageW(h, 0x00AE, 0, 0), 15);
    EXPECT_EQ(::SendMessageW(h, WM_ERASEBKGND, 0, 0), 1);
    ::SendMessageW(h, WM_TIMER, 1003, 0);
    EXPECT_EQ(p.lastTimer, 1003u);
    ::SendMessageW(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(321, 123));
    EXPECT_EQ(p.sizeW, 321);
    EXPECT_EQ(p.sizeH, 123);
    ::SendMessageW(h, WM_KEYDOWN, VK_ESCAPE, 0);
    // The engine's system command: SC_CLOSE goes to the close slot, others do not.
    ::SendMessageW(h, UIF_WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ::SendMessageW(h, UIF_WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(p.calls, (std::vector<std::string>{"created", "key27", "close"}));
    // The skin's caption close button ends there too; its ordinary buttons reach IControlMessage.
    Pump();
    IControlBase* close = p.GetSkinWindow()->FindControl("close");
    IControlBase* ok = p.GetSkinWindow()->FindControl("ok");
    ASSERT_TRUE(close && ok);
    for (IControlBase* c : {close, ok}) {
        RECT b;
        c->GetBounds(&b);
        const LPARAM at = MAKELPARAM((b.left + b.right) / 2, (b.top + b.bottom) / 2);
        ::SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageW(h, WM_LBUTTONUP, 0, at);
    }
    EXPECT_EQ(p.calls.back(), "close");
    EXPECT_EQ(p.calls.size(), 4u);
    EXPECT_EQ(p.codes, std::vector<int>{UIF_MSG_BUTTON_CLICKED});
}

TEST(Framework, UserDataPropertyAndSecondWindowUsesTheRunningSkin) {
    int data = 7;
    Probe first;
    ASSERT_TRUE(first.CreateSkinnedWindow(Kernel().c_str(), Skin().c_str(), "plain", nullptr, 0, 0, 0, 0, SW_SHOW,
                                          0x40000, &data, false));
    EXPECT_EQ(::GetPropW(first.GetHandle(), L"featurewindowparam"), &data);
    ASSERT_TRUE(first.GetKernel()->HasEngineInstance());
    // The kernel already runs a skin: a second window takes that skin whatever path it names.
    Probe second;
    ASSERT_TRUE(second.CreateSkinnedWindow(Kernel().c_str(), L"C:\\elsewhere\\other.ufd", "second", nullptr, 0, 0,
                                           0, 0, SW_SHOW, 0x40000, nullptr, false));
    ASSERT_NE(second.GetSkinWindow(), nullptr);
    EXPECT_NE(second.GetSkinWindow()->FindControl("label"), nullptr);
}

TEST(Framework, DestroyingTheObjectClosesItsWindowSafely) {
    HWND h;
    {
        auto p = std::make_unique<Probe>();
        ASSERT_TRUE(CreateProbe(*p));
        Pump();
        h = p->GetHandle();
        EXPECT_TRUE(::IsWindowVisible(h));
    }
    EXPECT_TRUE(::IsWindow(h));  // closed by the posted WM_CLOSE, not at once
    Pump();
    EXPECT_FALSE(::IsWindow(h));
    EXPECT_EQ(CWin32Window::FromHandle(h), nullptr);
}

TEST(Framework, OwnThreadSkinnedWindow) {
    Probe p;
    ASSERT_TRUE(CreateProbe(p, 0, 0, 0, 0, "plain", true));
    EXPECT_TRUE(p.IsOwnThread());
    EXPECT_NE(p.GetWindowThreadId(), ::GetCurrentThreadId());
    EXPECT_EQ(::GetWindowThreadProcessId(p.GetHandle(), nullptr), p.GetWindowThreadId());
    for (int i = 0; i < 200 && !::IsWindowVisible(p.GetHandle()); ++i) ::Sleep(10);
    EXPECT_TRUE(::IsWindowVisible(p.GetHandle()));  // its own loop handled the engine's show
}

// A plain window whose thread hangs on request.
class Hanging : public CWin32Window {
public:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_APP + 7) ::Sleep(INFINITE);
        return CWin32Window::HandleMessage(msg, wp, lp);
    }
};

TEST(Framework, OwnThreadWindowsEndOrAreTerminatedAfterFiveSeconds) {
    struct Row {
        bool hang;
        DWORD minMs, maxMs;
        DWORD exitCode;
    };
    const Row rows[] = {{false, 0, 2000, 0}, {true, 4900, 9000, 1}};
    for (const Row& row : rows) {
        auto w = std::make_unique<Hanging>();
        ASSERT_TRUE(w->CreateOnOwnThread(L"own", nullptr, 10, 10, 110, 110, SW_SHOWNA, WS_POPUP, nullptr));
        HWND h = w->GetHandle();
        EXPECT_NE(w->GetWindowThreadId(), ::GetCurrentThreadId());
        HANDLE thread;
        ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), w->GetWindowThread(), ::GetCurrentProcess(), &thread,
                                      0, FALSE, DUPLICATE_SAME_ACCESS));
        if (row.hang) {
            ::PostMessageW(h, WM_APP + 7, 0, 0);
            ::Sleep(100);
        }
        const DWORD start = ::GetTickCount();
        w.reset();
        const DWORD took = ::GetTickCount() - start;
        EXPECT_GE(took, row.minMs) << row.hang;
        EXPECT_LE(took, row.maxMs) << row.hang;
        EXPECT_EQ(::WaitForSingleObject(thread, 1000), WAIT_OBJECT_0);
        DWORD code = 12345;
        ::GetExitCodeThread(thread, &code);
        EXPECT_EQ(code, row.exitCode) << row.hang;
        ::CloseHandle(thread);
        EXPECT_EQ(CWin32Window::FromHandle(h), nullptr);
    }
}

TEST(Framework, PlainWindowShowsAtOnce) {
    CWin32Window w;
    ASSERT_TRUE(w.CreateOnCallingThread(L"plain", nullptr, 10, 10, 210, 110, SW_SHOWNA, WS_POPUP, nullptr));
    EXPECT_TRUE(::IsWindowVisible(w.GetHandle()));
    EXPECT_EQ(CWin32Window::FromHandle(w.GetHandle()), &w);
    ::DestroyWindow(w.GetHandle());
    EXPECT_EQ(w.GetHandle(), nullptr);  // forgotten on destroy
}

}  // namespace
