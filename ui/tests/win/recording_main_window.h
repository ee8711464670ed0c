// A real main window that keeps every progress message it handled, for the in-process tests.
#pragma once

#include <windows.h>

#include <vector>

#include "device/system_utils.h"
#include "engine/window_observer.h"
#include "shell/ini_files.h"
#include "ui/main_window.h"

namespace TVSP {

// Dispatches this thread's messages for about ms milliseconds.
inline void PumpMessages(DWORD ms) {
    const DWORD until = ::GetTickCount() + ms;
    do {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    } while (static_cast<LONG>(::GetTickCount() - until) < 0);
}

// Keeps every progress message that reaches the window procedure: its kind and the bar after it
// was handled; signals each one so a worker can wait for it.
class RecordingMainWindow : public TVSP_MainWindow {
public:
    struct Handled {
        int kind;
        int bar;
    };
    RecordingMainWindow() : handledEvent_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~RecordingMainWindow() override { ::CloseHandle(handledEvent_); }

    int Bar() {
        IControlBase* panel = GetSkinWindow()->FindControl("panel-ready");
        auto* bar = panel ? UifCast<ICtrlProgressBar>(panel->FindDescendant("progress")) : nullptr;
        return bar ? bar->GetPosition() : -1;
    }
    bool WaitHandled() { return ::WaitForSingleObject(handledEvent_, 5000) == WAIT_OBJECT_0; }

    std::vector<Handled> handled;
    bool recordQueued = false;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg != ProgressMessageId() || !wParam) return TVSP_MainWindow::HandleMessage(msg, wParam, lParam);
        const int kind = ProgressRecordOf(wParam)->kind;
        // The window handles the progress still queued before a sent result by itself; with
        // recordQueued they come through here first, so they are recorded too.
        if (recordQueued && IsSentKind(kind)) {
            MSG queued;
            while (::PeekMessageW(&queued, GetHandle(), msg, msg, PM_REMOVE)) HandleMessage(msg, queued.wParam, queued.lParam);
        }
        const LRESULT result = TVSP_MainWindow::HandleMessage(msg, wParam, lParam);
        handled.push_back({kind, Bar()});
        ::SetEvent(handledEvent_);
        return result;
    }

private:
    HANDLE handledEvent_;
};

// Destroys a test's main window and what it leaves behind: the quit message its close posts, the
// data file and the ROM store.
inline void DestroyTestMainWindow(RecordingMainWindow*& window) {
    delete window;
    window = nullptr;
    PumpMessages(100);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    ::DeleteFileW(ProgramFolderFile(L"sproutdata.ini").c_str());
    DeleteDirectory(CacheFolderPath(L"roms"));
}

}  // namespace TVSP
