// Names in the ROM store: the ROM set of a model and version, and its folder's safe name.
#pragma once

#include <string>
#include <string_view>

namespace TVSP {

// "<model key>-<version>", e.g. "watchk7_mt60d_ublox-1.2.3".
[[nodiscard]] std::string RomSetName(std::string_view modelKey, std::string_view version);

// The ROM set name with every byte other than an ASCII letter or digit, a space, "-", "." or "_"
// turned into "_": a version from the server never names another folder (no "\", "/" or ":").
[[nodiscard]] std::string RomSetFolderName(std::string_view romSetName);

}  // namespace TVSP
