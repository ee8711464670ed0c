// Test helper: throwaway folders under the temporary folder and whole-file reads.
#include "testing/wine/test_files.h"

#include <windows.h>

#include "device/system_utils.h"
#include "base/win/file_io.h"
#include "base/win/handle.h"

namespace tvsp {

TempFolder::TempFolder(const wchar_t* tag) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"tvsp-" + tag + L"-" + std::to_wstring(::GetCurrentProcessId());
    TVSP::DeleteDirectory(path_);
    ::CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { TVSP::DeleteDirectory(path_); }

std::string ReadAll(const std::wstring& path) {
    std::string bytes;
    const auto result = TVSP::ReadWholeFile(path, std::uint64_t{1} << 31, bytes,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (result == TVSP::FileReadResult::OpenFailed) return "<missing>";
    if (result != TVSP::FileReadResult::Ok) return "<unreadable>";
    return bytes;
}

std::vector<std::wstring> Entries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    TVSP::unique_hfind find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find.get(), &found));
    return names;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void DeleteTree(const std::wstring& path) {
    WIN32_FIND_DATAW data{};
    TVSP::unique_hfind find(::FindFirstFileW((path + L"\\*").c_str(), &data));
    if (find) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(child);
            } else {
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(find.get(), &data));
    }
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(path.c_str());
}

bool WaitUntil(const std::function<bool()>& condition, unsigned long timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(100);
    }
    return true;
}

}  // namespace tvsp
