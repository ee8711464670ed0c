// Join rule of the cache folder (portable).
#include "shell/cache_path.h"

namespace TVSP {

std::wstring JoinCachePath(std::wstring_view folder, std::wstring_view name) {
    std::wstring path(folder);
    const bool folderEnds = !folder.empty() && folder.back() == L'\\';
    const bool nameStarts = !name.empty() && name.front() == L'\\';
    if (!folderEnds && !nameStarts) path += L'\\';
    path += name;
    return path;
}

}  // namespace TVSP
