// Test helper for programs that run real windows: the program's folder and a bounded message pump.
#pragma once

#include <windows.h>

#include <string>

namespace tvsp {

// The folder holding this program, without a trailing backslash.
std::wstring ExeFolder();

// Handles this thread's messages for ms milliseconds (0: until the queue is empty). Bounded even
// when other threads keep a window invalid, so WM_PAINT never stops coming. WM_QUIT is taken
// off the queue but, being for no window, not dispatched.
void Pump(DWORD ms = 0);

}  // namespace tvsp
