// Start-up steps of the tool's process before its window: pending client update, single
// instance, dependency modules.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "base/instance_names.h"
#include "base/user_caption.h"
#include "base/win/handle.h"
#include "shell/data_file_backup.h"

namespace TVSP {

enum class PendingUpdate {
    None,       // no update cabinet waiting
    Rejected,   // the cabinet failed its signature check and was deleted
    Discarded,  // not fully extracted, no program in it, or not newer: the update folder was deleted
    Applied,    // files copied over the program folder; the caller restarts the program
};

// Decides whether a file was signed by the maker; the shell passes IsSignedByMaker.
using SignatureVerifier = std::function<bool(const std::wstring& path)>;

// Applies "update\updatefiles.cab" of programFolder when it is signed and carries a newer
// "tarvosprout.exe". On Applied the data file is gone (or, when it cannot be deleted, moved to
// its backup name for `now`).
[[nodiscard]] PendingUpdate ApplyPendingUpdate(const std::wstring& programFolder, const SignatureVerifier& isSignedByMaker,
                                 const UtcDateTime& now);

// Without a program folder (its path does not fit 260 characters) every file of the tool would be
// looked for at the root of a drive: says why the tool cannot start and gives true.
[[nodiscard]] bool RefuseToStartWithoutProgramFolder(const std::wstring& programFolder);

// A start-up error box: stop icon, OK only, no owner, caption "TarvoSprout".
void ShowStartupError(const wchar_t* text);

// Starts the installed tool after an applied update; false when it could not be started.
[[nodiscard]] bool StartInstalledTool(const std::wstring& programFolder);

// The current UTC time.
UtcDateTime CurrentUtcTime();

// The single-instance mutex, created owned and held by the result until it is destroyed. Empty
// when it cannot be created or another instance holds it.
[[nodiscard]] unique_mutex_lock AcquireSingleInstance();

// The dependency modules in the order they are checked, with the message a failing one shows.
struct DependencyModule {
    const wchar_t* fileName;
    const wchar_t* message;
};
extern const DependencyModule kDependencyModules[5];

// The first module of programFolder that fails the check, or null when all pass.
[[nodiscard]] const DependencyModule* FirstInvalidDependency(const std::wstring& programFolder,
                                               const SignatureVerifier& isSignedByMaker);

}  // namespace TVSP
