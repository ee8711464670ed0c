// GPS_DL.dll stand-in: a module that loads and unloads cleanly and does nothing else.
#include <windows.h>

// The tool only checks that this library is present and carries the maker's signature; nothing
// in it is ever called, so it keeps no state and needs no thread notifications.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    return TRUE;
}
