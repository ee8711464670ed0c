// Process entry of tarvosprout.exe: pending update, single instance, dependency check, main
// window, message loop, shutdown.
#include <windows.h>

#include "device/code_signature.h"
#include "device/system_utils.h"
#include "shell/startup.h"
#include "ui/main_window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace TVSP;
    const std::wstring programFolder = GetOwnDirectory();

    if (ApplyPendingUpdate(programFolder, IsSignedByMaker, CurrentUtcTime()) == PendingUpdate::Applied) {
        // Quoted, so a folder with spaces can never start a different program.
        StartProgram(L"\"" + programFolder + L"\\tarvosprout.exe\"");
        return 0;
    }

    unique_mutex_lock instance = AcquireSingleInstance();
    if (!instance) return 1;

    if (const DependencyModule* invalid = FirstInvalidDependency(programFolder, IsSignedByMaker)) {
        ::MessageBoxW(nullptr, invalid->message, kMessageCaption, MB_ICONSTOP | MB_OK);
        return 2;
    }

    auto* window = new TVSP_MainWindow();
    if (!window->Create(::GetCurrentThreadId())) {
        ::MessageBoxW(nullptr, L"无法创建窗口！", kMessageCaption, MB_ICONSTOP | MB_OK);
        delete window;
        return 3;
    }

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!::TranslateAcceleratorW(msg.hwnd, nullptr, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

    window->Shutdown();
    instance.reset();
    delete window;
    return 0;
}
