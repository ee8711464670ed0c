// Test helper for programs that run real windows: the program's folder and a bounded message pump.
#include "testing/wine/window_test_support.h"

namespace tvsp {

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L'\\'));
}

void Pump(DWORD ms) {
    const DWORD until = ::GetTickCount() + ms;
    do {
        MSG msg;
        int handled = 0;
        while (handled++ < 1000 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_QUIT) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            if (ms && static_cast<LONG>(::GetTickCount() - until) >= 0) break;
        }
        if (ms) ::Sleep(5);
    } while (static_cast<LONG>(::GetTickCount() - until) < 0);
}

}  // namespace tvsp
