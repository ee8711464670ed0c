// The program folder and paths inside it.
#include "base/win/program_folder.h"

#include <windows.h>

namespace TVSP {
namespace {

constexpr std::size_t kPathUnits = MAX_PATH;  // 260, the terminator included

}  // namespace

std::wstring GetOwnDirectory() {
    wchar_t path[kPathUnits] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, kPathUnits);
    if (n == 0 || n >= kPathUnits) return {};
    std::wstring directory(path, n);
    const auto slash = directory.find_last_of(L'\\');
    if (slash == std::wstring::npos) return {};
    directory.resize(slash);
    return directory;
}

std::wstring ProgramFolderFile(std::wstring_view relative) {
    const std::wstring folder = GetOwnDirectory();
    // "%s\%s" in a 260-character buffer: a path that does not fit names no file at all.
    if (folder.empty() || relative.empty() || folder.size() + 1 + relative.size() >= kPathUnits) return {};
    std::wstring path = folder;
    path += L'\\';
    path += relative;
    return path;
}

}  // namespace TVSP
