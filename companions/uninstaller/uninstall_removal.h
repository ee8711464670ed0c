// The removal itself: the install folder's entries that are ours, the shortcuts, the registry
// entries, and what cannot go while the uninstaller runs, scheduled for the next start of Windows.
#pragma once

#include <windows.h>

#include <string>

#include "companions/uninstaller/uninstall_rules.h"

namespace TVSP::Uninstall {

// Where the installation's parts live.
struct InstallPlaces {
    std::wstring folder;         // the install folder (the uninstaller's own), no trailing '\'
    std::wstring commonDesktop;  // all users' desktop
    std::wstring programs;       // the user's Programs menu folder
};

// The places of an installation in `folder`, the shell folders asked of the system; an empty
// shell folder is skipped by the removal.
[[nodiscard]] InstallPlaces LocatePlaces(const std::wstring& folder);

// True while the tool runs (its single-instance mutex exists).
[[nodiscard]] bool ToolIsRunning();

// Removes what is ours. `running` is the uninstaller's own path: it, and every module loaded in
// this process from the folder, is scheduled instead (MOVEFILE_DELAY_UNTIL_REBOOT), and so is the
// folder after them when nothing else is left in it.
[[nodiscard]] RemovalReport RemoveInstallation(const InstallPlaces& places, const std::wstring& running);

}  // namespace TVSP::Uninstall
