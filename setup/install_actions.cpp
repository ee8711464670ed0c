// The installer's actions: program folder, driver packages, files, shortcuts, registry entries.
#include "setup/install_actions.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "base/maker_site.h"
#include "base/program_files.h"
#include "base/win/handle.h"
#include "device/system_utils.h"

namespace TVSP::Setup {
namespace {

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring ParentFolder(const std::wstring& path) {
    const auto slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return {};
    // Keep the backslash of a drive root ("D:\tarvosprout.exe" -> "D:\").
    return path.substr(0, slash == 2 && path[1] == L':' ? slash + 1 : slash);
}

// Creates the folder with every missing parent; true when it exists as a folder afterwards.
bool CreateFolderTree(const std::wstring& path, DWORD& error) {
    error = static_cast<DWORD>(::SHCreateDirectoryExW(nullptr, path.c_str(), nullptr));
    if (IsFolder(path)) return true;
    if (error == ERROR_SUCCESS) error = ERROR_PATH_NOT_FOUND;
    return false;
}

UtcTime SystemUtcNow() {
    SYSTEMTIME now{};
    ::GetSystemTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

void CopyClassDriverBeforeVista(const InstallRequest& req, InstallReport& report) {
    const bool preVista = req.preVista ? *req.preVista : IsPreVista();
    const bool nativeX64 = req.nativeX64 ? *req.nativeX64 : IsNativeX64();
    const std::wstring windows = req.windowsDirectory.empty() ? GetSystemWindowsFolder() : req.windowsDirectory;
    if (windows.empty()) return;  // every path below would be relative
    const std::wstring target = windows + L"\\system32\\DRIVERS\\" + ProgramFiles::kClassDriver;
    if (!ShouldCopyPreVistaClassDriver(preVista, nativeX64, Exists(target))) return;
    const std::wstring source = JoinPath(req.workFolder, kPreVistaClassDriver);
    // Never over a driver the system already has.
    report.classDriverCopied = ::CopyFileW(source.c_str(), target.c_str(), TRUE) != FALSE;
    if (!report.classDriverCopied) report.classDriverError = ::GetLastError();
}

void CopyProgramFiles(const InstallRequest& req, InstallReport& report) {
    for (const std::wstring& name : ProgramFilesToInstall()) {
        const std::wstring source = JoinPath(req.workFolder, name);
        if (!Exists(source)) {
            report.filesMissingFromPayload.push_back(name);
            continue;
        }
        const std::wstring target = JoinPath(req.installFolder, name);
        DWORD error = ERROR_SUCCESS;
        if (name.find(L'\\') != std::wstring::npos) (void)CreateFolderTree(ParentFolder(target), error);
        // A hidden or read-only file of an earlier installation would refuse to be overwritten.
        const DWORD old = ::GetFileAttributesW(target.c_str());
        if (old != INVALID_FILE_ATTRIBUTES && (old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY))) {
            ::SetFileAttributesW(target.c_str(), old & ~(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
        }
        if (::CopyFileW(source.c_str(), target.c_str(), FALSE)) {
            report.filesCopied.push_back(name);
        } else {
            report.filesFailed.push_back({name, ::GetLastError()});
        }
    }
    for (const std::wstring& name : FilesToUnhide()) {
        const std::wstring path = JoinPath(req.installFolder, name);
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        if (::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_HIDDEN)) report.filesUnhidden.push_back(name);
    }
}

void RemoveOldDataFile(const InstallRequest& req, InstallReport& report) {
    const std::wstring path = JoinPath(req.installFolder, ProgramFiles::kDataFile);
    if (::DeleteFileW(path.c_str())) {
        report.dataFile = DataFileFate::Deleted;
        return;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    const std::wstring moved = JoinPath(req.installFolder, MovedDataFileName(req.utcNow ? req.utcNow() : SystemUtcNow()));
    if (::MoveFileExW(path.c_str(), moved.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        report.dataFile = DataFileFate::MovedAside;
        report.dataFileMovedTo = moved;
    } else {
        report.dataFile = DataFileFate::Kept;
    }
}

void CopyDriverFolders(const InstallRequest& req, InstallReport& report) {
    for (const wchar_t* folder : ProgramFiles::kInstalledDriverFolders) {
        const std::wstring source = JoinPath(req.workFolder, folder);
        if (!IsFolder(source)) continue;
        if (CopyDirectory(source, JoinPath(req.installFolder, folder))) {
            report.driverFoldersCopied.push_back(folder);
        } else {
            report.driverFoldersFailed.push_back(folder);
        }
    }
}

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return path;
}

bool WriteShortcut(const std::wstring& link, const std::wstring& target) {
    com_ptr<IShellLinkW> shellLink;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, shellLink.put_void()))) {
        return false;
    }
    if (FAILED(shellLink->SetPath(target.c_str())) ||
        FAILED(shellLink->SetWorkingDirectory(ParentFolder(target).c_str()))) {
        return false;
    }
    com_ptr<IPersistFile> file;
    if (FAILED(shellLink->QueryInterface(IID_IPersistFile, file.put_void()))) return false;
    return SUCCEEDED(file->Save(link.c_str(), TRUE));
}

void CreateShortcuts(const InstallRequest& req, InstallReport& report) {
    const std::wstring tool = JoinPath(req.installFolder, ProgramFiles::kTool);
    const std::wstring uninstaller = JoinPath(req.installFolder, ProgramFiles::kUninstaller);
    auto make = [&](const std::wstring& folder, const wchar_t* name, const std::wstring& target) {
        const std::wstring link = folder.empty() ? std::wstring(name) : JoinPath(folder, name);
        const bool written = !folder.empty() && WriteShortcut(link, target);
        (written ? report.shortcutsCreated : report.shortcutsFailed).push_back(link);
    };
    make(ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY), kShortcutName, tool);
    std::wstring menu = ShellFolder(CSIDL_PROGRAMS);
    DWORD error = ERROR_SUCCESS;
    if (!menu.empty()) {
        menu = JoinPath(JoinPath(menu, kMenuGroupFolder), kMenuFolder);
        if (!CreateFolderTree(menu, error)) menu.clear();
    }
    make(menu, kShortcutName, tool);
    make(menu, kUninstallShortcutName, uninstaller);
}

bool SetString(HKEY key, const std::wstring& name, const std::wstring& data) {
    // REG_SZ with its terminating zero.
    const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), bytes) ==
           ERROR_SUCCESS;
}

bool WriteStrings(HKEY root, const wchar_t* subKey, const std::vector<RegistryStringValue>& values) {
    unique_hkey key;
    if (::RegCreateKeyExW(root, subKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool all = true;
    for (const RegistryStringValue& value : values) all = SetString(key.get(), value.name, value.data) && all;
    return all;
}

}  // namespace

InstallReport RunInstallActions(const InstallRequest& req) {
    InstallReport report;
    com_apartment com(COINIT_APARTMENTTHREADED);  // for the shortcuts

    // 1. Without the program folder nothing else can be installed.
    if (req.installFolder.empty() || req.workFolder.empty()) {
        report.folderError = ERROR_INVALID_PARAMETER;
        return report;
    }
    report.folderCreated = CreateFolderTree(req.installFolder, report.folderError);
    if (!report.folderCreated) return report;

    // 2, 3, 4: driver packages.
    report.wrongPackage = RemoveWrongDriverPackage();
    CopyClassDriverBeforeVista(req, report);
    report.vendorInstallerWanted = ShouldRunVendorInstaller(report.wrongPackage.uninstalled, req.earlierInstallation);
    if (report.vendorInstallerWanted) {
        report.vendorInstaller = RunVendorDriverInstaller(req.workFolder, req.driverInstallerWaitMs);
    }

    // 5 to 8: files and shortcuts.
    CopyProgramFiles(req, report);
    RemoveOldDataFile(req, report);
    CopyDriverFolders(req, report);
    CreateShortcuts(req, report);

    // 9, 10: registry.
    const std::wstring version = GetFileVersionString(JoinPath(req.installFolder, ProgramFiles::kTool), false);
    report.uninstallEntryWritten =
        WriteStrings(HKEY_LOCAL_MACHINE, kUninstallKey, UninstallEntryValues(req.installFolder, version, kMakerWebsite));
    report.installPathWritten = WriteStrings(HKEY_CURRENT_USER, kUserKey, {{kInstallPathValue, req.installFolder}});

    report.completed = report.filesFailed.empty();
    return report;
}

std::wstring ReadInstallPath() {
    unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kUserKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return {};
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), kInstallPathValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) {
        return {};
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');  // room for a missing terminator
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key.get(), kInstallPathValue, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    text.resize(text.find(L'\0'));
    return text;
}

bool EarlierInstallationPresent() {
    const std::wstring path = ReadInstallPath();
    return !path.empty() && Exists(path);
}

}  // namespace TVSP::Setup
