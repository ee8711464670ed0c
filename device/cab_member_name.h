// Which cabinet member names may be written under a destination folder.
#pragma once

#include <string_view>

namespace TVSP {

// True for a relative name that stays inside the destination: not empty, not rooted ("\x", "/x",
// UNC), no drive letter or other colon, no "." or ".." component, no empty component.
bool IsSafeCabMemberName(std::wstring_view name);

}  // namespace TVSP
