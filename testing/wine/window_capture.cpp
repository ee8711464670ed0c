// Test helper: saves what the screen shows of a window as a PNG file.
#include "testing/wine/window_capture.h"

#include <objidl.h>
#include <gdiplus.h>

#include <vector>

namespace tvsp {

GdiplusSession::GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
}

GdiplusSession::~GdiplusSession() {
    if (token_) Gdiplus::GdiplusShutdown(token_);
}

bool SaveWindowPng(HWND window, const std::wstring& path) {
    RECT r;
    if (!::GetWindowRect(window, &r)) return false;
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    const bool copied = ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) != FALSE;
    ::SelectObject(memory, old);
    bool saved = false;
    if (copied) {
        Gdiplus::Bitmap image(bitmap, nullptr);
        UINT count = 0, size = 0;
        Gdiplus::GetImageEncodersSize(&count, &size);
        std::vector<BYTE> buffer(size);
        auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
        if (size && Gdiplus::GetImageEncoders(count, size, codecs) == Gdiplus::Ok) {
            for (UINT i = 0; i < count && !saved; ++i) {
                if (std::wstring(codecs[i].MimeType) == L"image/png") {
                    saved = image.Save(path.c_str(), &codecs[i].Clsid, nullptr) == Gdiplus::Ok;
                }
            }
        }
    }
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return saved;
}

std::wstring ScreenshotFolder() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"TVSP_SCREENSHOT_DIR", folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return folder;
}

}  // namespace tvsp
