// The program folder: the folder of the running executable, and paths of files inside it.
#pragma once

#include <string>
#include <string_view>

namespace TVSP {

// Folder of the running program, without a trailing backslash; empty when the module path does
// not fit 260 characters (a cut path would name another folder).
std::wstring GetOwnDirectory();

// Program folder + "\" + relative; empty when there is no program folder or the path would not
// fit 260 characters: a root-relative path is never built from an empty folder.
std::wstring ProgramFolderFile(std::wstring_view relative);

}  // namespace TVSP
