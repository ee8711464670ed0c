// The open message boxes of a process, read and pressed from outside it.
#include "testing/uictl/message_boxes.h"

#include <cwctype>

namespace tvsp {
namespace {

struct NamedId {
    int id;
    const char* name;
};

const NamedId kButtons[] = {
    {IDOK, "OK"}, {IDCANCEL, "Cancel"}, {IDABORT, "Abort"}, {IDRETRY, "Retry"},
    {IDIGNORE, "Ignore"}, {IDYES, "Yes"}, {IDNO, "No"}, {IDCLOSE, "Close"}, {IDHELP, "Help"},
};

constexpr int kMessageTextId = 0xFFFF;  // the static that holds a message box's text

std::wstring WindowText(HWND window) {
    wchar_t text[2048] = {};
    ::GetWindowTextW(window, text, 2048);
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK CollectButton(HWND child, LPARAM param) {
    auto* box = reinterpret_cast<OpenMessageBox*>(param);
    const int id = ::GetDlgCtrlID(child);
    if (id == kMessageTextId && box->text.empty()) {
        box->text = WindowText(child);
        return TRUE;
    }
    std::wstring cls = ClassName(child);
    for (auto& c : cls) c = static_cast<wchar_t>(std::towlower(c));
    if (cls == L"button" && ::IsWindowVisible(child)) {
        MessageBoxButton button;
        button.id = id;
        button.name = ButtonNameFromId(id);
        button.caption = WindowText(child);
        button.window = child;
        box->buttons.push_back(std::move(button));
    }
    return TRUE;
}

struct Search {
    DWORD processId;
    std::vector<OpenMessageBox>* boxes;
};

BOOL CALLBACK CollectBox(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != search->processId || !::IsWindowVisible(window) || ClassName(window) != L"#32770") return TRUE;
    OpenMessageBox box;
    box.window = window;
    box.caption = WindowText(window);
    ::EnumChildWindows(window, CollectButton, reinterpret_cast<LPARAM>(&box));
    search->boxes->push_back(std::move(box));
    return TRUE;
}

}  // namespace

std::vector<OpenMessageBox> FindMessageBoxes(DWORD processId) {
    std::vector<OpenMessageBox> boxes;
    Search search{processId, &boxes};
    ::EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
    return boxes;
}

int ButtonIdFromName(const std::string& name) {
    for (const auto& b : kButtons) {
        if (::lstrcmpiA(b.name, name.c_str()) == 0) return b.id;
    }
    return 0;
}

const char* ButtonNameFromId(int id) {
    for (const auto& b : kButtons) {
        if (b.id == id) return b.name;
    }
    return "";
}

bool PressMessageBoxButton(const OpenMessageBox& box, const std::string& buttonName) {
    const int id = ButtonIdFromName(buttonName);
    for (const auto& button : box.buttons) {
        if (id != 0 && button.id == id) {
            // What a click on the button sends its dialog.
            ::PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button.window));
            return true;
        }
    }
    return false;
}

}  // namespace tvsp
