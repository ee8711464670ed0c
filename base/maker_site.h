// The maker's home page: the tool's compiled-in default (Config.ini may override it there) and the
// address the installer registers for the uninstall entry.
#pragma once

namespace TVSP {

inline constexpr wchar_t kMakerWebsite[] = L"https://sprout.example.com/";
// The licence the installer's links open.
inline constexpr wchar_t kLicensePage[] = L"https://sprout.example.com/license.html";

}  // namespace TVSP
