// Test helper for the installer's tests and benchmark: shell folders, the installer's work folders,
// the native edit its folder page reads, and a planted wrong network driver package.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/win/handle.h"
#include "device/driver_package.h"

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

// The work folder a running installer made: the one that was not there before (empty if none).
inline std::wstring NewWorkFolder(const std::vector<std::wstring>& before) {
    for (const std::wstring& path : WorkFolderPaths()) {
        if (std::find(before.begin(), before.end(), path) == before.end()) return path;
    }
    return L"";
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

// Where a wrong network driver package lies in the prefix's inf folder, and an INF that carries both
// of its markers, so the installer's search finds and removes it.
inline std::wstring WrongPackageInfPath() {
    wchar_t windows[MAX_PATH] = {};
    ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\inf\\oem77.inf";
}
inline std::string WrongPackageInfText() {
    return "[Version]\r\nClass=Net\r\n[Devices.NTamd64]\r\n%Device%=RNDIS.NT, USB\\" +
           std::string(TVSP::kWrongPackageHardwareMarker) + "\r\n[Strings]\r\nDevice=\"" +
           std::string(TVSP::kWrongPackageDescriptionMarker) + "\"\r\n";
}

}  // namespace tvsp
