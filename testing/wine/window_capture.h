// Test helper: saves what the screen shows of a window as a PNG file (GDI+ encoder).
#pragma once

#include <windows.h>

#include <string>

namespace tvsp {

// Starts GDI+ for the caller's scope.
class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool Ok() const { return token_ != 0; }

private:
    ULONG_PTR token_ = 0;
};

// Copies the window's screen area into path (PNG); false when capturing or encoding fails.
bool SaveWindowPng(HWND window, const std::wstring& path);

// The folder named by TVSP_SCREENSHOT_DIR (a Windows path), or empty when screenshots are off.
std::wstring ScreenshotFolder();

}  // namespace tvsp
