// The removal: files and folders of ours, shortcuts, registry entries; what is in use is scheduled.
#include "companions/uninstaller/uninstall_removal.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <utility>
#include <vector>

#include "base/instance_names.h"
#include "base/win/handle.h"

namespace TVSP::Uninstall {
namespace {

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return path;
}

bool Gone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Deletes one file (read-only too); true when it is gone.
bool DeleteOneFile(const std::wstring& path) {
    if (::DeleteFileW(path.c_str()) || Gone(::GetLastError())) return true;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        return ::DeleteFileW(path.c_str()) != FALSE;
    }
    return false;
}

// Deletes a folder with its content; every entry that stays is added to `failed` as `shown\name`.
void DeleteTree(const std::wstring& path, const std::wstring& shown, std::vector<std::wstring>& failed) {
    WIN32_FIND_DATAW data{};
    unique_hfind find(::FindFirstFileW((path + L"\\*").c_str(), &data));
    if (find) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            const std::wstring childShown = shown + L"\\" + name;
            // A link or junction is removed itself, never followed.
            const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
            if (folder) {
                DeleteTree(child, childShown, failed);
            } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? !::RemoveDirectoryW(child.c_str())
                                                                            : !DeleteOneFile(child)) {
                failed.push_back(childShown);
            }
        } while (::FindNextFileW(find.get(), &data));
    }
    if (!::RemoveDirectoryW(path.c_str()) && !Gone(::GetLastError()) && failed.empty()) failed.push_back(shown);
}

bool Schedule(const std::wstring& path) {
    return ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

// A module of this process loaded from that file (the running program, the skin engine's DLLs):
// Windows refuses to delete it while it is mapped.
bool LoadedHere(const std::wstring& path, const std::wstring& running) {
    if (SameFolder(path, running)) return true;  // full paths compare like folders
    return ::GetModuleHandleW(path.c_str()) != nullptr;
}

std::wstring ReadString(HKEY key, const wchar_t* value) {
    wchar_t data[1024] = {};
    DWORD type = 0;
    DWORD size = sizeof data - sizeof(wchar_t);
    if (::RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
    return data;
}

// The uninstall key, when it is this installation's (or names no folder).
void RemoveUninstallKey(const std::wstring& folder, RemovalReport& report) {
    const std::wstring shown = std::wstring(L"HKLM\\") + kUninstallKey;
    unique_hkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return;
    const std::wstring location = ReadString(key.get(), kInstallLocationValue);
    key.reset();
    if (!location.empty() && !SameFolder(location, folder)) {
        report.kept.push_back(shown);  // another installation's
        return;
    }
    const LSTATUS status = ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
        report.removed.push_back(shown);
    } else {
        report.failed.push_back(shown);
    }
}

// The user's InstallPath value, when it names this folder; the key too when nothing else is left.
void RemoveUserValue(const std::wstring& folder, RemovalReport& report) {
    const std::wstring shown = std::wstring(L"HKCU\\") + kUserKey + L"\\" + kInstallPathValue;
    unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kUserKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) {
        return;
    }
    const std::wstring path = ReadString(key.get(), kInstallPathValue);
    if (!path.empty() && !SameFolder(path, folder)) {
        report.kept.push_back(shown);
        return;
    }
    const LSTATUS status = ::RegDeleteValueW(key.get(), kInstallPathValue);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        report.failed.push_back(shown);
        return;
    }
    report.removed.push_back(shown);
    DWORD subKeys = 1, values = 1;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                           nullptr, nullptr) == ERROR_SUCCESS &&
        subKeys == 0 && values == 0) {
        key.reset();
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kUserKey);
    }
}

void RemoveShortcut(const std::wstring& path, RemovalReport& report) {
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    if (DeleteOneFile(path)) {
        report.removed.push_back(path);
        ::SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, path.c_str(), nullptr);  // the desktop redraws without it
    } else {
        report.failed.push_back(path);
    }
}

void RemoveShortcuts(const InstallPlaces& places, RemovalReport& report) {
    if (!places.commonDesktop.empty()) RemoveShortcut(places.commonDesktop + L"\\" + kDesktopShortcut, report);
    if (places.programs.empty()) return;
    const std::wstring group = places.programs + L"\\" + kMenuGroupFolder;
    const std::wstring menu = group + L"\\" + kMenuFolder;
    for (const wchar_t* shortcut : kMenuShortcuts) RemoveShortcut(menu + L"\\" + shortcut, report);
    // The folders go only when empty: the maker's group may hold other programs' shortcuts.
    for (const std::wstring& folder : {menu, group}) {
        if (!::RemoveDirectoryW(folder.c_str())) break;
        report.removed.push_back(folder);
        ::SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW, folder.c_str(), nullptr);
    }
}

std::vector<FolderEntry> ListFolder(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW data{};
    unique_hfind find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find) return entries;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (::FindNextFileW(find.get(), &data));
    return entries;
}

}  // namespace

InstallPlaces LocatePlaces(const std::wstring& folder) {
    return InstallPlaces{folder, ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY), ShellFolder(CSIDL_PROGRAMS)};
}

bool ToolIsRunning() {
    unique_handle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, kToolInstanceMutexName));
    // Opening fails with access denied when the tool runs with more rights than we have.
    return mutex || ::GetLastError() == ERROR_ACCESS_DENIED;
}

RemovalReport RemoveInstallation(const InstallPlaces& places, const std::wstring& running) {
    RemovalReport report;
    for (const FolderEntry& entry : ListFolder(places.folder)) {
        const std::wstring path = places.folder + L"\\" + entry.name;
        switch (ClassifyEntry(entry)) {
            case EntryKind::NotOurs:
                report.kept.push_back(entry.name);
                break;
            case EntryKind::OursFolder: {
                std::vector<std::wstring> failed;
                DeleteTree(path, entry.name, failed);
                if (failed.empty()) {
                    report.removed.push_back(entry.name);
                } else {
                    report.failed.insert(report.failed.end(), failed.begin(), failed.end());
                }
                break;
            }
            case EntryKind::Ours:
                if (LoadedHere(path, running)) {
                    if (Schedule(path)) {
                        report.scheduled.push_back(entry.name);
                    } else {
                        report.failed.push_back(entry.name);
                    }
                } else if (DeleteOneFile(path)) {
                    report.removed.push_back(entry.name);
                } else {
                    report.failed.push_back(entry.name);
                }
                break;
        }
    }

    RemoveShortcuts(places, report);
    RemoveUninstallKey(places.folder, report);
    RemoveUserValue(places.folder, report);

    // The folder follows the scheduled files when they are all it still holds; at the next start
    // Windows deletes in the order recorded, so it is empty by then.
    const std::vector<FolderEntry> left = ListFolder(places.folder);
    if (left.empty()) {
        if (::RemoveDirectoryW(places.folder.c_str())) report.removed.push_back(places.folder);
    } else if (OnlyScheduledLeft(left, report.scheduled) && Schedule(places.folder)) {
        report.folderScheduled = true;
    }
    return report;
}

}  // namespace TVSP::Uninstall
