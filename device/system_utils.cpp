// Small system utilities: file versions, own folder, Windows version tests, folder copy and delete.
#include "device/system_utils.h"

#include <shlobj.h>

#include <cwchar>
#include <optional>
#include <vector>

#include "base/win/handle.h"

namespace TVSP {
namespace {

// Every path this module builds must fit the 260-character buffers the rest of the tool uses; a
// longer one is refused instead of being cut, so nothing acts on a wrong file.
constexpr std::size_t kPathUnits = MAX_PATH;  // 260, the terminator included

std::optional<std::wstring> JoinPath(std::wstring_view folder, std::wstring_view name) {
    // An empty folder would give "\name": the root of the current drive, never what was meant.
    if (folder.empty() || folder.size() + 1 + name.size() + 1 > kPathUnits) return std::nullopt;
    std::wstring joined;
    joined.reserve(folder.size() + 1 + name.size());
    joined.append(folder).append(1, L'\\').append(name);
    return joined;
}

bool IsDotEntry(const wchar_t* name) {
    return ::lstrcmpiW(name, L".") == 0 || ::lstrcmpiW(name, L"..") == 0;
}

// The version call of the documented API: platform, major and minor as the system reports them
// to a program without a compatibility manifest.
std::optional<OSVERSIONINFOW> DocumentedVersion() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!::GetVersionExW(&info)) return std::nullopt;
    return info;
}

struct NtVersion {
    DWORD major = 0;
    DWORD minor = 0;
};

// The kernel's own numbers; later systems report 6.2 through the documented call.
std::optional<NtVersion> TrueVersion() {
    using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    unique_hmodule ntdll(::LoadLibraryW(L"ntdll.dll"));
    if (!ntdll) return std::nullopt;
    const FARPROC proc = ::GetProcAddress(ntdll.get(), "RtlGetNtVersionNumbers");
    if (!proc) return std::nullopt;
    const auto fn = reinterpret_cast<RtlGetNtVersionNumbersFn>(reinterpret_cast<void (*)()>(proc));
    NtVersion version;
    DWORD build = 0;
    fn(&version.major, &version.minor, &build);
    return version;
}

bool TrueVersionIs(DWORD major, DWORD minor) {
    const auto version = TrueVersion();
    return version && version->major == major && version->minor == minor;
}

bool CopyOneFile(const std::wstring& source, const std::wstring& target) {
    if (::CopyFileW(source.c_str(), target.c_str(), FALSE)) return true;
    if (::GetLastError() == ERROR_SHARING_VIOLATION) {
        // A running program or loaded module: move it aside, let the next restart remove it, and
        // put the new file under the original name.
        const std::wstring aside = target + L".tmp";
        if (aside.size() < kPathUnits &&
            ::MoveFileExW(target.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            ::MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            ::CopyFileW(source.c_str(), target.c_str(), TRUE);
        }
    }
    return false;
}

}  // namespace

std::wstring GetFileVersionString(const std::wstring& path, bool fourParts) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size < 1 || size > 16383) return {};
    std::vector<BYTE> block(16384, 0);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLength) || !fixed ||
        fixedLength < sizeof(VS_FIXEDFILEINFO)) {
        return {};
    }
    wchar_t text[64] = {};
    if (fourParts) {
        std::swprintf(text, std::size(text), L"%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS),
                      LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                      LOWORD(fixed->dwFileVersionLS));
    } else {
        std::swprintf(text, std::size(text), L"%d.%d.%d", HIWORD(fixed->dwFileVersionMS),
                      LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS));
    }
    return text;
}

std::wstring GetOwnVersion() {
    wchar_t path[kPathUnits] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, kPathUnits);
    if (n == 0 || n >= kPathUnits) return {};
    return GetFileVersionString(path, true);
}

bool IsWindows7() {
    const auto info = DocumentedVersion();
    return info && info->dwPlatformId == VER_PLATFORM_WIN32_NT && info->dwMajorVersion == 6 &&
           info->dwMinorVersion == 1;
}

bool IsWindows8() { return TrueVersionIs(6, 2); }
bool IsWindows81() { return TrueVersionIs(6, 3); }
bool IsWindows10() { return TrueVersionIs(10, 0); }

bool IsPreVista() {
    static const bool preVista = [] {
        const auto info = DocumentedVersion();
        return info && info->dwMajorVersion < 6;
    }();
    return preVista;
}

std::wstring GetSystemWindowsFolder() {
    wchar_t windows[MAX_PATH] = {};
    const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring path(windows, length);
    if (path.back() == L'\\') path.pop_back();
    return path;
}

bool IsNativeX64() {
    SYSTEM_INFO info{};
    ::GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

bool CopyDirectory(const std::wstring& source, const std::wstring& target) {
    if (source.empty() || target.empty()) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (source.size() >= kPathUnits || target.size() >= kPathUnits) return false;
    ::SHCreateDirectory(nullptr, target.c_str());  // an existing folder is fine

    const auto pattern = JoinPath(source, L"*.*");
    if (!pattern) return false;
    WIN32_FIND_DATAW entry{};
    unique_hfind find(::FindFirstFileW(pattern->c_str(), &entry));
    if (!find) return false;  // a source that cannot be listed copied nothing

    bool allFirstTime = true;
    do {
        if (IsDotEntry(entry.cFileName)) continue;
        const auto from = JoinPath(source, entry.cFileName);
        const auto to = JoinPath(target, entry.cFileName);
        if (!from || !to) {
            allFirstTime = false;
            continue;
        }
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!CopyDirectory(*from, *to)) allFirstTime = false;
        } else if (!CopyOneFile(*from, *to)) {
            allFirstTime = false;
        }
    } while (::FindNextFileW(find.get(), &entry));
    return allFirstTime;
}

bool DeleteDirectory(const std::wstring& path) {
    if (path.empty()) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (path.size() >= kPathUnits) return false;
    if (const auto pattern = JoinPath(path, L"*.*")) {
        WIN32_FIND_DATAW entry{};
        unique_hfind find(::FindFirstFileW(pattern->c_str(), &entry));
        if (find) {
            do {
                if (IsDotEntry(entry.cFileName)) continue;
                const auto child = JoinPath(path, entry.cFileName);
                if (!child) continue;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                        // A junction: remove the link, never the folder it points to.
                        ::RemoveDirectoryW(child->c_str());
                    } else {
                        DeleteDirectory(*child);
                    }
                } else {
                    ::DeleteFileW(child->c_str());
                }
            } while (::FindNextFileW(find.get(), &entry));
        }
    }
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    return ::RemoveDirectoryW(path.c_str()) != FALSE;
}

bool StartProgram(const std::wstring& commandLine) {
    // CreateProcessW may write into the command line, so it gets its own copy.
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                         &process)) {
        unique_handle thread(process.hThread);
        unique_handle child(process.hProcess);
        return true;
    }
    return false;
}

}  // namespace TVSP
