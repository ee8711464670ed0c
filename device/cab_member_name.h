// Which cabinet member names may be written under a destination folder.
#pragma once

#include <string_view>

namespace TVSP {

// True for a relative name that stays inside the destination: not empty, not rooted ("\x", "/x",
// UNC), no drive letter or other colon, no "." or ".." component, no empty component. Backslash
// and slash both separate components ("win7_64\usbser.sys", "driver/Win7/x.inf").
// Also refused, because Windows would not write a plain file of that name there: control
// characters (the zero character included), components of dots and spaces only ("...", ".. ",
// which Windows trims to "." or ".."), and device names in any component ("CON", "nul.txt",
// "COM1", "LPT9.log"; ASCII case ignored).
bool IsSafeCabMemberName(std::wstring_view name);

}  // namespace TVSP
