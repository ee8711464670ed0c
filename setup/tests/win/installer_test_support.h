// Test helper for the installer's window tests and benchmark: shell folders, the installer's work
// folders, and the native edit its folder page reads.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "base/win/handle.h"

namespace tvsp {

inline std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

// Folders of the Internet cache whose name is a braced GUID: installers' work folders.
inline std::vector<std::wstring> WorkFolderPaths() {
    std::vector<std::wstring> paths;
    const std::wstring cache = ShellFolder(CSIDL_INTERNET_CACHE);
    WIN32_FIND_DATAW data{};
    TVSP::unique_hfind find(::FindFirstFileW((cache + L"\\{*}").c_str(), &data));
    if (find) {
        do {
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && std::wstring(data.cFileName).size() == 38) {
                paths.push_back(cache + L"\\" + data.cFileName);
            }
        } while (::FindNextFileW(find.get(), &data));
    }
    return paths;
}

// The native edit inside the installer's window: its text is what "Setup" reads.
inline HWND FindEdit(DWORD processId) {
    struct Search {
        DWORD pid;
        HWND edit;
    } search{processId, nullptr};
    ::EnumWindows([](HWND top, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(top, &pid);
        if (pid == s->pid) s->edit = ::FindWindowExW(top, nullptr, L"Edit", nullptr);
        return s->edit == nullptr;
    }, reinterpret_cast<LPARAM>(&search));
    return search.edit;
}

}  // namespace tvsp
