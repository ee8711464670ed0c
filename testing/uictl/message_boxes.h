// The open message boxes of a process, read and pressed from outside it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tvsp {

struct MessageBoxButton {
    int id = 0;            // IDOK, IDYES, ...
    std::string name;      // "OK", "Yes", ...: independent of the system's language
    std::wstring caption;  // the button's own text
    HWND window = nullptr;
};

struct OpenMessageBox {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<MessageBoxButton> buttons;
};

// Visible dialog windows ("#32770") of the process, in z-order.
std::vector<OpenMessageBox> FindMessageBoxes(DWORD processId);

// IDOK for "OK" (any case), ...; 0 for an unknown name.
int ButtonIdFromName(const std::string& name);
const char* ButtonNameFromId(int id);

// Presses the named button of the box as a click would; false when the box has no such button.
bool PressMessageBoxButton(const OpenMessageBox& box, const std::string& buttonName);

}  // namespace tvsp
