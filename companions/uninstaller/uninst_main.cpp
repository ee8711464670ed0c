// uninst.exe: removes what the installer put in place, from the install folder it runs in.
#include <windows.h>

#include "base/user_caption.h"
#include "base/win/handle.h"
#include "base/win/program_folder.h"
#include "companions/uninstaller/uninstall_texts.h"
#include "companions/uninstaller/uninstall_window.h"

using namespace TVSP;
using namespace TVSP::Uninstall;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (ToolIsRunning()) {
        ::MessageBoxW(nullptr, UninstallTexts::kToolRunning, kMessageCaption, MB_OK | MB_ICONWARNING);
        return kExitToolRunning;
    }
    wchar_t running[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, running, MAX_PATH + 1);
    const std::wstring folder = GetOwnDirectory();
    if (length == 0 || length > MAX_PATH || folder.empty()) return kExitNoWindow;

    const com_apartment com;  // the shell folders
    CUninstallWnd window(LocatePlaces(folder), running);
    if (!window.Create()) {
        ::MessageBoxW(nullptr, UninstallTexts::kWindowFailed, kMessageCaption, MB_OK | MB_ICONERROR);
        return kExitNoWindow;
    }
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return window.ExitCode();
}
