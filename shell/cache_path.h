// Join rule of the cache folder (portable).
#pragma once
#include <string>
#include <string_view>
namespace TVSP {
// One "\" between folder and name unless the folder ends in "\" or the name starts with one.
// Nothing is removed: a folder ending in "\" joined with a name starting with "\" keeps both.
std::wstring JoinCachePath(std::wstring_view folder, std::wstring_view name);
}  // namespace TVSP
