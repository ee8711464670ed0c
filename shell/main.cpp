// Process entry of tarvosprout.exe: pending update, single instance, dependency check, main
// window, message loop, shutdown.
#include <windows.h>

#include <memory>

#include "device/code_signature.h"
#include "device/system_utils.h"
#include "shell/startup.h"
#include "shell/user_texts.h"
#include "ui/main_window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace TVSP;
    const std::wstring programFolder = GetOwnDirectory();
    if (RefuseToStartWithoutProgramFolder(programFolder)) return 4;

    if (ApplyPendingUpdate(programFolder, IsSignedByMaker, CurrentUtcTime()) == PendingUpdate::Applied) {
        // Exit code 0 either way: the update is in place and the next start runs it, whether or
        // not this hand-over succeeded.
        static_cast<void>(StartInstalledTool(programFolder));
        return 0;
    }

    unique_mutex_lock instance = AcquireSingleInstance();
    if (!instance) return 1;

    if (const DependencyModule* invalid = FirstInvalidDependency(programFolder, IsSignedByMaker)) {
        ShowStartupError(invalid->message);
        return 2;
    }

    auto window = std::make_unique<TVSP_MainWindow>();
    if (!window->Create(::GetCurrentThreadId())) {
        ShowStartupError(ShellTexts::kCannotCreateWindow);
        return 3;
    }

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!::TranslateAcceleratorW(msg.hwnd, nullptr, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

    if (!window->Shutdown()) {
        // A worker is still inside a transaction with the watch or the network: the process's end
        // stops it with everything else, where tearing the window down under it would not.
        ::ExitProcess(0);
    }
    instance.reset();
    window.reset();
    return 0;
}
