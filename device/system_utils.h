// Small system utilities: versions of files, own folder, Windows version tests, folder copy and
// delete, process start, machine identifier.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/win/program_folder.h"  // GetOwnDirectory, with the other path utilities

namespace TVSP {

// The file's fixed version as "%d.%d.%d.%d" (fourParts) or "%d.%d.%d"; empty without a resource.
std::wstring GetFileVersionString(const std::wstring& path, bool fourParts);
// Four-part version of the running program.
std::wstring GetOwnVersion();

bool IsWindows7();
bool IsWindows8();
bool IsWindows81();
bool IsWindows10();
bool IsPreVista();
bool IsNativeX64();

// GetSystemWindowsDirectoryW without a trailing backslash (also for a root folder "D:\"); empty
// when it cannot be had, so no caller builds a system path relative to the current folder.
std::wstring GetSystemWindowsFolder();

// Copies every file and sub-folder of source into target (created with all levels), overwriting.
// A target file in use is renamed to "<name>.tmp", scheduled for deletion at restart, and the copy
// retried. True only when every file was copied at the first attempt.
bool CopyDirectory(const std::wstring& source, const std::wstring& target);
// Deletes everything under path, then path itself; the result is that of removing path.
bool DeleteDirectory(const std::wstring& path);
// Starts the command line; does not wait. False when the process could not be created.
[[nodiscard]] bool StartProgram(const std::wstring& commandLine);

// "C_..-D_..-M_..-V_.." percent-encoded; components Windows cannot supply are "0".
std::string GetMachineId();

}  // namespace TVSP
