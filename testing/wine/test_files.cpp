// Test helper: throwaway folders under the temporary folder and whole-file reads.
#include "testing/wine/test_files.h"

#include <windows.h>

#include "device/system_utils.h"
#include "device/win/handle.h"

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
    TVSP::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    if (!file) return "<missing>";
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) bytes.append(chunk, read);
    return bytes;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace tvsp
