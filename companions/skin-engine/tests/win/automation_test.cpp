// The automation pipe under Wine: hello and snapshot of real skin windows, actions delivered on
// the window thread as mouse clicks, refusals, misbehaving clients, shutdown, and uictl.exe.
#include <gtest/gtest.h>
#include <windows.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "uifeature/ui_kernel.h"
#include "testing/wine/window_test_support.h"

using nlohmann::json;

namespace {

using tvsp::ExeFolder;
using tvsp::Pump;

std::wstring Skin() { return ExeFolder() + L"\\skins\\demo.ufd"; }

std::wstring PipeName() { return L"tvsp-automation-test-" + std::to_wstring(::GetCurrentProcessId()); }
std::wstring PipePath() { return L"\\\\.\\pipe\\" + PipeName(); }

std::vector<std::pair<UINT, WPARAM>> g_hostMessages;

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == UIF_WM_SYSCOMMAND) g_hostMessages.emplace_back(msg, wp);
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

HWND MakeHost() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"AutomationTestHost";
        registered = ::RegisterClassW(&wc) != 0;
    }
    return ::CreateWindowExW(0, L"AutomationTestHost", L"host", WS_POPUP, 30, 40, 600, 400, nullptr, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

// Control messages with the thread they arrived on.
struct Recorder final : IControlMessage {
    struct Event {
        IControlBase* sender;
        int code;
        WPARAM v1;
        DWORD thread;
    };
    std::vector<Event> events;
    int UIF_CALL OnControlMessage(IControlBase* sender, int code, WPARAM v1, LPARAM) override {
        events.push_back({sender, code, v1, ::GetCurrentThreadId()});
        return 0;
    }
};

// One client connection with bounded waits, so a server fault fails a test instead of hanging it.
class Client {
public:
    bool Open() {
        for (int i = 0; i < 100; ++i) {
            pipe_ = ::CreateFileW(PipePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
            if (pipe_ != INVALID_HANDLE_VALUE) return true;
            openError_ = ::GetLastError();
            if (openError_ != ERROR_PIPE_BUSY) return false;
            ::Sleep(20);
        }
        return false;
    }
    DWORD OpenError() const { return openError_; }
    ~Client() { Close(); }
    void Close() {
        if (pipe_ != INVALID_HANDLE_VALUE) ::CloseHandle(pipe_);
        pipe_ = INVALID_HANDLE_VALUE;
    }

    bool Send(const std::string& bytes) {
        OVERLAPPED o{};
        o.hEvent = event_;
        DWORD n = 0;
        if (!::WriteFile(pipe_, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &o) &&
            ::GetLastError() != ERROR_IO_PENDING) {
            return false;
        }
        if (::WaitForSingleObject(event_, 5000) != WAIT_OBJECT_0) {
            ::CancelIo(pipe_);
            ::GetOverlappedResult(pipe_, &o, &n, TRUE);
            return false;
        }
        return ::GetOverlappedResult(pipe_, &o, &n, FALSE) && n == bytes.size();
    }

    // The next reply line; "" with *closed set when the server closed the connection.
    std::string ReadLine(bool* closed = nullptr) {
        if (closed) *closed = false;
        for (;;) {
            const size_t lf = pending_.find('\n');
            if (lf != std::string::npos) {
                std::string line = pending_.substr(0, lf);
                pending_.erase(0, lf + 1);
                return line;
            }
            char buffer[4096];
            OVERLAPPED o{};
            o.hEvent = event_;
            DWORD n = 0;
            if (!::ReadFile(pipe_, buffer, sizeof buffer, nullptr, &o) && ::GetLastError() != ERROR_IO_PENDING) {
                if (closed) *closed = true;
                return {};
            }
            if (::WaitForSingleObject(event_, 10000) != WAIT_OBJECT_0) {
                ::CancelIo(pipe_);
                ::GetOverlappedResult(pipe_, &o, &n, TRUE);
                ADD_FAILURE() << "no reply within 10 s";
                return {};
            }
            if (!::GetOverlappedResult(pipe_, &o, &n, FALSE)) {
                if (closed) *closed = true;
                return {};
            }
            pending_.append(buffer, n);
        }
    }

    json Ask(const std::string& request) {
        if (!Send(request + "\n")) return json();
        const std::string line = ReadLine();
        json reply = json::parse(line, nullptr, false);  // also proves the reply is valid UTF-8 JSON
        EXPECT_FALSE(reply.is_discarded()) << line;
        return reply;
    }

private:
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE event_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD openError_ = 0;
    std::string pending_;
};

json Ask(const std::string& request) {
    Client c;
    if (!c.Open()) {
        ADD_FAILURE() << "cannot open the pipe, error " << c.OpenError();
        return json();
    }
    return c.Ask(request);
}

std::string Hex(HWND hwnd) {
    char text[32];
    snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)));
    return text;
}

// A control of a snapshot window by name, depth first; null json when absent.
const json* FindIn(const json& controls, const std::string& name) {
    for (const json& c : controls) {
        if (c["name"] == name) return &c;
        if (const json* found = FindIn(c["children"], name)) return found;
    }
    return nullptr;
}

const json* WindowIn(const json& snapshot, const std::string& name) {
    for (const json& w : snapshot["windows"]) {
        if (w["name"] == name) return &w;
    }
    return nullptr;
}

class Automation : public ::testing::Test {
protected:
    void SetUp() override {
        // Before the kernel is reached: it starts serving as soon as it is asked for.
        ::SetEnvironmentVariableW(L"TVSP_AUTOMATION", PipeName().c_str());
        module_ = ::LoadLibraryW((ExeFolder() + L"\\UiFeatureKernel.dll").c_str());
        ASSERT_NE(module_, nullptr);
        auto get = reinterpret_cast<UifGetUiKernelInterfaceFn>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module_, kUifKernelExport)));
        ASSERT_NE(get, nullptr);
        kernel_ = get();
        kernel_->GetEngine()->SetScaleOverride(100);
        g_hostMessages.clear();
    }
    void TearDown() override {
        if (kernel_) kernel_->Shutdown();  // releases the windows and stops the server
        for (HWND h : hosts_) ::DestroyWindow(h);
        Pump(20);
        ::SetEnvironmentVariableW(L"TVSP_AUTOMATION", nullptr);
        if (module_) ::FreeLibrary(module_);
    }

    IUiSkinWindow* Open(const char* window, HWND* hostOut) {
        HWND host = MakeHost();
        hosts_.push_back(host);
        IUiSkinWindow* w = kernel_->OpenSkinWindow(host, Skin().c_str(), window);
        *hostOut = host;
        return w;
    }

    HMODULE module_ = nullptr;
    IUiKernel* kernel_ = nullptr;
    std::vector<HWND> hosts_;
};

TEST_F(Automation, HelloAndSnapshotDescribeTheOpenWindows) {
    // Serving before any window: hello lists none.
    json hello = Ask("hello");
    EXPECT_EQ(hello["ok"], true);
    EXPECT_EQ(hello["pid"], ::GetCurrentProcessId());
    EXPECT_TRUE(hello["windows"].empty()) << hello.dump();

    HWND demoHost, clicksHost;
    IUiSkinWindow* demo = Open("demo", &demoHost);
    IUiSkinWindow* clicks = Open("clicks", &clicksHost);
    ASSERT_TRUE(demo && clicks) << kernel_->GetEngine()->GetLastError();
    ::SetWindowPos(demoHost, nullptr, 50, 60, 600, 400, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    Pump(50);
    demo->FindControl("detail")->SetText("\xB5\xDA\xD2\xBB \"q\" \\ \n\t");  // GBK 第一, quotes, controls
    demo->FindControl("new")->SetVisible(FALSE, TRUE);
    demo->FindControl("halo")->SetVisible(FALSE, TRUE);
    UifCast<ICtrlButton>(demo->FindControl("website"))->SetEnabled(FALSE);

    hello = Ask("hello");
    ASSERT_EQ(hello["windows"].size(), 2u) << hello.dump();
    EXPECT_EQ(hello["windows"][0], (json{{"name", "demo"}, {"hwnd", Hex(demoHost)}}));
    EXPECT_EQ(hello["windows"][1], (json{{"name", "clicks"}, {"hwnd", Hex(clicksHost)}}));

    const json snap = Ask("snapshot");
    ASSERT_EQ(snap["ok"], true) << snap.dump();
    EXPECT_EQ(snap["pid"], ::GetCurrentProcessId());
    const json* w = WindowIn(snap, "demo");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ((*w)["hwnd"], Hex(demoHost));
    EXPECT_EQ((*w)["visible"], true);
    RECT wr;
    ::GetWindowRect(demoHost, &wr);
    EXPECT_EQ((*w)["rect"], (json{wr.left, wr.top, wr.right, wr.bottom}));
    EXPECT_EQ((*WindowIn(snap, "clicks"))["visible"], false);  // never shown

    const json& controls = (*w)["controls"];
    ASSERT_EQ(controls.size(), 4u);  // top-level: TopPanel, card, form, BottomPanel
    EXPECT_EQ(controls[0]["name"], "TopPanel");
    struct Row {
        const char* name;
        const char* kind;
        const char* text;  // UTF-8
        bool visible, enabled, checked;
        int value;
    };
    const Row rows[] = {
        {"card", "panel", "", true, true, false, 0},
        {"updateButton", "button", "\xE4\xB8\x80\xE9\x94\xAE\xE5\x8D\x87\xE7\xBA\xA7", true, true, false, 0},  // 一键升级
        {"website", "button", "\xE6\x9F\xA5\xE7\x9C\x8B\xE8\xAF\xA6\xE6\x83\x85", true, false, false, 0},      // 查看详情
        {"detail", "static", "\xE7\xAC\xAC\xE4\xB8\x80 \"q\" \\ \n\t", true, true, false, 0},
        {"new", "static", "NEW", false, true, false, 0},
        {"halo", "panel", "", false, true, false, 0},
        {"watchconnect", "static", "", true, true, false, 0},  // own flag: its parent is hidden
        {"progress", "progress", "", true, true, false, 64},
        {"genb_radio", "radio", "\xE6\xA0\x87\xE5\x87\x86\xE7\x89\x88", true, true, true, 0},  // 标准版
        {"genc_adv", "radio", "\xE9\xAB\x98\xE7\xBA\xA7\xE7\x89\x88", true, true, false, 0},   // 高级版
        {"edit_path", "edit", "C:\\Program Files\\Tarvo", true, true, false, 0},
        {"Check", "check", "\xE6\x88\x91\xE5\xB7\xB2\xE9\x98\x85\xE8\xAF\xBB\xE5\xB9\xB6\xE5\x90\x8C\xE6\x84\x8F", true,
         true, true, 0},  // 我已阅读并同意
        {"LicenseAgreement", "link", "\xE3\x80\x8A\xE8\xAE\xB8\xE5\x8F\xAF\xE5\x8D\x8F\xE8\xAE\xAE\xE3\x80\x8B", true,
         true, false, 0},  // 《许可协议》
    };
    for (const Row& row : rows) {
        const json* c = FindIn(controls, row.name);
        ASSERT_NE(c, nullptr) << row.name;
        EXPECT_EQ((*c)["class"], row.kind) << row.name;
        EXPECT_EQ((*c)["text"], row.text) << row.name;
        EXPECT_EQ((*c)["visible"], row.visible) << row.name;
        EXPECT_EQ((*c)["enabled"], row.enabled) << row.name;
        EXPECT_EQ((*c)["checked"], row.checked) << row.name;
        EXPECT_EQ((*c)["value"], row.value) << row.name;
        RECT b;
        demo->FindControl(row.name)->GetBounds(&b);
        EXPECT_EQ((*c)["rect"], (json{b.left, b.top, b.right, b.bottom})) << row.name;
    }
    EXPECT_EQ((*FindIn(controls, "halo"))["children"][0]["name"], "watchconnect");
    // The skin's own enabled="false" shows for kinds without a setter, the setter's state for others.
    const json* clicksControls = &(*WindowIn(snap, "clicks"))["controls"];
    EXPECT_EQ((*FindIn(*clicksControls, "off"))["enabled"], false);
    EXPECT_EQ((*FindIn(*clicksControls, "bar"))["value"], 50);

    // Controls that lookups cannot find (a missing image) are left out with their subtree.
    HWND treeHost;
    ASSERT_NE(Open("tree", &treeHost), nullptr);
    const json tree = *WindowIn(Ask("snapshot"), "tree");
    EXPECT_EQ(FindIn(tree["controls"], "Broken"), nullptr);
    EXPECT_EQ(FindIn(tree["controls"], "inner"), nullptr);
    EXPECT_NE(FindIn(tree["controls"], "first"), nullptr);
}

TEST_F(Automation, ActionsRunOnTheWindowThreadThroughTheMousePath) {
    HWND host;
    IUiSkinWindow* w = Open("clicks", &host);
    ASSERT_NE(w, nullptr);
    Recorder rec;
    w->SetControlMessage(&rec);
    Pump(20);
    struct Row {
        const char* request;
        const char* control;
        int code;
        WPARAM v1;
    };
    const Row rows[] = {
        {"click clicks/ok", "ok", UIF_MSG_BUTTON_CLICKED, 0},
        {"click CLICKS/Other", "other", UIF_MSG_BUTTON_CLICKED, 0},  // names without case
        {"click clicks/inDrag", "inDrag", UIF_MSG_BUTTON_CLICKED, 0},
        {"click clicks/l1", "l1", UIF_MSG_LINK_CLICKED, 0},
        {"choose clicks/r1", "r1", UIF_MSG_RADIO_CHOSEN, 1},
        {"choose clicks/r1", "r1", UIF_MSG_RADIO_CHOSEN, 1},  // again, as a second mouse click does
        {"toggle clicks/c1", "c1", UIF_MSG_CHECK_CHANGED, 1},
        {"toggle clicks/c1", "c1", UIF_MSG_CHECK_CHANGED, 0},
    };
    Client client;
    ASSERT_TRUE(client.Open());
    for (const Row& row : rows) {
        rec.events.clear();
        EXPECT_EQ(client.Ask(row.request), json({{"ok", true}})) << row.request;
        // The reply came without waiting for the handler: this thread has not pumped yet.
        EXPECT_TRUE(rec.events.empty()) << row.request;
        Pump(30);
        ASSERT_EQ(rec.events.size(), 1u) << row.request;
        EXPECT_EQ(rec.events[0].sender, w->FindControl(row.control)) << row.request;
        EXPECT_EQ(rec.events[0].code, row.code) << row.request;
        EXPECT_EQ(rec.events[0].v1, row.v1) << row.request;
        EXPECT_EQ(rec.events[0].thread, ::GetCurrentThreadId()) << row.request;
    }
    // The radio box chosen unchecked its own group only; the check box is back to unchecked.
    EXPECT_TRUE(UifCast<ICtrlRadioBox>(w->FindControl("r1"))->IsChecked());
    EXPECT_FALSE(UifCast<ICtrlRadioBox>(w->FindControl("r2"))->IsChecked());
    EXPECT_TRUE(UifCast<ICtrlRadioBox>(w->FindControl("r3"))->IsChecked());
    EXPECT_FALSE(UifCast<ICtrlCheckBox>(w->FindControl("c1"))->IsChecked());
    const json snap = client.Ask("snapshot");
    EXPECT_EQ((*FindIn((*WindowIn(snap, "clicks"))["controls"], "r2"))["checked"], false);

    // A caption button does what its mouse click does: asks the host to close.
    rec.events.clear();
    EXPECT_EQ(client.Ask("click clicks/close"), json({{"ok", true}}));
    Pump(30);
    EXPECT_TRUE(rec.events.empty());
    ASSERT_EQ(g_hostMessages.size(), 1u);
    EXPECT_EQ(g_hostMessages[0].second, static_cast<WPARAM>(SC_CLOSE));

    // Accepted, then hidden before the window thread came to it: nothing happens, as a mouse
    // could no longer reach it either.
    EXPECT_EQ(client.Ask("click clicks/ok"), json({{"ok", true}}));
    w->FindControl("ok")->SetVisible(FALSE, TRUE);
    Pump(30);
    EXPECT_TRUE(rec.events.empty());
}

TEST_F(Automation, RefusesWhatAMouseCouldNotReach) {
    HWND host, treeHost;
    IUiSkinWindow* w = Open("clicks", &host);
    ASSERT_NE(w, nullptr);
    ASSERT_NE(Open("tree", &treeHost), nullptr);
    Recorder rec;
    w->SetControlMessage(&rec);
    w->FindControl("other")->SetVisible(FALSE, TRUE);
    w->FindControl("drag")->SetVisible(FALSE, TRUE);  // hides inDrag through its parent
    UifCast<ICtrlCheckBox>(w->FindControl("c1"))->SetEnabled(FALSE);
    struct Row {
        std::string request;
        const char* error;
    };
    const Row rows[] = {
        {"click clicks/off", "'off' is disabled"},
        {"toggle clicks/c1", "'c1' is disabled"},
        {"click clicks/other", "'other' is hidden"},
        {"click clicks/inDrag", "'inDrag' is hidden"},
        {"click nowhere/ok", "no open window 'nowhere'"},
        {"click clicks/nothing", "no control 'nothing' in window 'clicks'"},
        {"click tree/inner", "no control 'inner' in window 'tree'"},  // in an unusable subtree
        {"choose clicks/c1", "choose takes a radio box; 'c1' is a check"},
        {"toggle clicks/r1", "toggle takes a check box; 'r1' is a radio"},
        {"click clicks/r1", "click takes a button or a link; 'r1' is a radio"},
        {"click clicks/bar", "click takes a button or a link; 'bar' is a progress"},
        {"click clicks/drag", "click takes a button or a link; 'drag' is a panel"},
        {"click clicks", "click needs WINDOW/CONTROL, got 'clicks'"},
        {"dance", "unknown request 'dance'"},
        {"", "empty request"},
        {"click clicks/\xB5\xDA", "no control '\xEF\xBF\xBD\xEF\xBF\xBD' in window 'clicks'"},  // not UTF-8: repaired
    };
    Client client;
    ASSERT_TRUE(client.Open());
    for (const Row& row : rows) {
        const json reply = client.Ask(row.request);
        EXPECT_EQ(reply, (json{{"ok", false}, {"error", row.error}})) << row.request;
    }
    // A window disabled by a modal box takes no clicks either.
    ::EnableWindow(host, FALSE);
    EXPECT_EQ(client.Ask("click clicks/ok")["ok"], false);
    ::EnableWindow(host, TRUE);
    EXPECT_EQ(client.Ask("click clicks/ok")["ok"], true);
    Pump(30);
    ASSERT_EQ(rec.events.size(), 1u);  // only the last one
    EXPECT_EQ(rec.events[0].sender, w->FindControl("ok"));
}

TEST_F(Automation, MisbehavingClientsNeverWedgeTheServer) {
    HWND host;
    ASSERT_NE(Open("clicks", &host), nullptr);
    // Connecting and leaving without a word, many times, and leaving without reading a reply.
    for (int i = 0; i < 5; ++i) {
        Client c;
        ASSERT_TRUE(c.Open()) << c.OpenError();
    }
    {
        Client c;
        ASSERT_TRUE(c.Open()) << c.OpenError();
        ASSERT_TRUE(c.Send("snapshot\nsnapshot\n"));
    }
    // One client holding its connection open does not keep another one out.
    Client idle;
    ASSERT_TRUE(idle.Open());
    EXPECT_EQ(Ask("hello")["ok"], true);

    // Several requests in one write: replies in order, on one connection.
    Client many;
    ASSERT_TRUE(many.Open());
    ASSERT_TRUE(many.Send("hello\r\nclick clicks/nothing\nsnapshot\n"));
    EXPECT_EQ(json::parse(many.ReadLine())["windows"][0]["name"], "clicks");
    EXPECT_EQ(json::parse(many.ReadLine())["ok"], false);
    EXPECT_EQ(json::parse(many.ReadLine())["windows"][0]["controls"].size(), 12u);

    // A line of exactly the limit is read (and refused as a request); the connection goes on.
    const size_t limit = 64 * 1024;
    ASSERT_TRUE(many.Send(std::string(limit, 'x') + "\n"));
    const json atLimit = json::parse(many.ReadLine());
    EXPECT_EQ(atLimit["error"], "unknown request '" + std::string(80, 'x') + "...'");
    EXPECT_EQ(many.Ask("hello")["ok"], true);
    // One byte more, even before its LF arrives: an error reply, then the connection is closed.
    ASSERT_TRUE(many.Send(std::string(limit + 1, 'y')));
    EXPECT_EQ(json::parse(many.ReadLine()), (json{{"ok", false}, {"error", "request line longer than 65536 bytes"}}));
    bool closed = false;
    EXPECT_EQ(many.ReadLine(&closed), "");
    EXPECT_TRUE(closed);
    // And the server serves the next client.
    EXPECT_EQ(Ask("hello")["ok"], true);
    EXPECT_EQ(idle.Ask("hello")["ok"], true);
}

TEST_F(Automation, ShutdownEndsTheServerPromptlyAndLetsTheEngineUnload) {
    HWND host;
    ASSERT_NE(Open("clicks", &host), nullptr);
    Client idle;  // a client connected and silent does not hold Shutdown up
    ASSERT_TRUE(idle.Open());
    EXPECT_EQ(idle.Ask("hello")["ok"], true);
    const DWORD start = ::GetTickCount();
    kernel_->Shutdown();
    EXPECT_LT(::GetTickCount() - start, 3000u);
    bool closed = false;
    idle.ReadLine(&closed);
    EXPECT_TRUE(closed);
    Client late;
    EXPECT_FALSE(late.Open());
    EXPECT_EQ(late.OpenError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // The server thread let go of the engine module as it ended.
    kernel_ = nullptr;
    ::FreeLibrary(module_);
    module_ = nullptr;
    EXPECT_EQ(::GetModuleHandleW(L"UiFeatureKernel.dll"), nullptr);
}

TEST_F(Automation, NothingListensWithoutTheVariable) {
    kernel_->Shutdown();
    ::SetEnvironmentVariableW(L"TVSP_AUTOMATION", nullptr);
    HWND host;
    ASSERT_NE(Open("clicks", &host), nullptr);
    Client c;
    EXPECT_FALSE(c.Open());
    EXPECT_EQ(c.OpenError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // Set later, it takes effect at the next window: the server starts lazily.
    ::SetEnvironmentVariableW(L"TVSP_AUTOMATION", (L"\\\\.\\pipe\\" + PipeName()).c_str());
    HWND second;
    ASSERT_NE(Open("tree", &second), nullptr);
    EXPECT_EQ(Ask("hello")["windows"].size(), 2u);
}

#ifdef TVSP_UICTL_EXE
// Runs uictl.exe with arguments; its exit status and standard output.
int RunUictl(const std::wstring& args, std::string* out) {
    std::string path = TVSP_UICTL_EXE;
    for (char& c : path) c = c == '/' ? '\\' : c;
    const std::wstring exe = L"Z:" + std::wstring(path.begin(), path.end());  // Wine's root drive
    if (::GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES) return -1;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!::CreatePipe(&readEnd, &writeEnd, &sa, 0)) return -2;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    std::wstring command = L"\"" + exe + L"\" --pipe " + PipeName() + L" " + args;
    PROCESS_INFORMATION pi{};
    const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                          nullptr, &si, &pi);
    ::CloseHandle(writeEnd);
    if (!started) {
        ::CloseHandle(readEnd);
        return -3;
    }
    char buffer[4096];
    DWORD n = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) out->append(buffer, n);
    ::CloseHandle(readEnd);
    DWORD code = 999;
    if (::WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0) ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

TEST_F(Automation, UictlDrivesTheServer) {
    HWND host;
    IUiSkinWindow* w = Open("demo", &host);
    ASSERT_NE(w, nullptr);
    Recorder rec;
    w->SetControlMessage(&rec);
    std::string out;
    const int status = RunUictl(L"snapshot", &out);
    if (status == -1) GTEST_SKIP() << "uictl.exe is not built";
    ASSERT_EQ(status, 0) << out;
    const json snap = json::parse(out, nullptr, false);
    ASSERT_FALSE(snap.is_discarded()) << out;
    EXPECT_EQ((*FindIn((*WindowIn(snap, "demo"))["controls"], "updateButton"))["text"],
              "\xE4\xB8\x80\xE9\x94\xAE\xE5\x8D\x87\xE7\xBA\xA7");
    out.clear();
    EXPECT_EQ(RunUictl(L"click demo/updateButton", &out), 0);
    EXPECT_EQ(out, "{\"ok\":true}\r\n");  // its standard output is in text mode
    Pump(50);
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].sender, w->FindControl("updateButton"));
    out.clear();
    EXPECT_EQ(RunUictl(L"toggle demo/updateButton", &out), 1);  // refused: not a check box
    EXPECT_EQ(out, "");
}
#endif

}  // namespace
