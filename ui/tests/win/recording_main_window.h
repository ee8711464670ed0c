// A real main window that keeps every progress message it handled, for the in-process tests.
#pragma once

#include <windows.h>

#include <vector>

#include "device/system_utils.h"
#include "engine/window_observer.h"
#include "shell/ini_files.h"
#include "testing/uictl/device_broadcast.h"
#include "testing/update-server/client/update_server_client.h"
#include "testing/wine/window_test_support.h"
#include "ui/main_window.h"

namespace TVSP {

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

// The broadcast record of the watch's serial interface, as WM_DEVICECHANGE carries it.
inline std::vector<BYTE> WatchSerialInterfaceRecord() {
    return tvsp::DeviceInterfaceRecord(L"\\\\?\\USB#VID_0E8D&PID_0003#5&1&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
}

// Points the test program's Config.ini at the test update server, whose ROM check then changes
// nothing: the window starts as it always did.
inline bool QuietUpdateServer() {
    static tvsp::UpdateServerClient server;
    return server.PointQuietly(ProgramFolderFile(L"Config.ini"));
}

// Destroys a test's main window and what it leaves behind: the quit message its close posts (the
// pump takes it off the queue), the data file and the ROM store. The skin kernel stays for the
// next window of the process.
template <typename Window>
void DestroyTestMainWindow(Window*& window) {
    delete window;
    window = nullptr;
    tvsp::Pump(100);
    ::DeleteFileW(ProgramFolderFile(L"sproutdata.ini").c_str());
    DeleteDirectory(CacheFolderPath(L"roms"));
}

}  // namespace TVSP
