// What the uninstaller counts as ours: the names the installer lays out and the tool writes at run
// time, the shortcuts and registry entries, and how a removal's report reads. Portable.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/install_layout.h"
#include "base/program_files.h"

namespace TVSP::Uninstall {

// Registry entries and shortcuts the installer writes (base/install_layout.h). The HKLM key's
// InstallLocation and the HKCU value name the install folder.
using namespace InstallLayout;

// Shortcuts: all users' desktop, and <Programs>\Tarvo安全中心\TarvoSprout of the user.
inline constexpr const wchar_t* kDesktopShortcut = kShortcutName;
inline constexpr const wchar_t* kMenuShortcuts[] = {kShortcutName, kUninstallShortcutName};

// The skin window.
inline constexpr const wchar_t* kSkinFile = ProgramFiles::kUninstallSkin;
inline constexpr char kWindowName[] = "UninstWnd";

// Exit codes of uninst.exe.
enum ExitCode : int {
    kExitRemoved = 0,      // everything of ours is gone or scheduled for the next start
    kExitCancelled = 1,    // the user said no: nothing touched
    kExitToolRunning = 2,  // the tool runs: refused, nothing touched
    kExitIncomplete = 3,   // something could not be removed (the result page lists it)
    kExitNoWindow = 4,     // the skin window could not be made: nothing touched
};

// How a top-level entry of the install folder is treated.
enum class EntryKind {
    Ours,        // a file the installer laid out or the tool wrote: deleted
    OursFolder,  // a driver folder or the self-update's folder: deleted with its content
    NotOurs,     // anything else: kept, and with it the folder
};

// Names compare as Windows compares file names here: ASCII letters without case, the rest exactly.
[[nodiscard]] EntryKind ClassifyEntry(std::wstring_view name, bool isFolder);

// The installer's files at the top of the install folder (no sub-folder entries).
[[nodiscard]] std::vector<std::wstring> InstalledTopLevelFiles();

// "sproutdata-Y-M-D-h-m-s.ini": the tool's timestamped copies of its data file.
[[nodiscard]] bool IsDataFileCopy(std::wstring_view name);

// Whether two folder paths name the same folder ('/' as '\', trailing separators and ASCII case
// ignored). An empty path is never the same.
[[nodiscard]] bool SameFolder(std::wstring_view a, std::wstring_view b);

// A top-level entry of the install folder as listed.
struct FolderEntry {
    std::wstring name;
    bool folder = false;
    bool link = false;  // a symbolic link or junction: never the installer's
};

// How an entry is treated: a link is never ours (one named like our folders would lead the
// removal into another folder).
[[nodiscard]] EntryKind ClassifyEntry(const FolderEntry& entry);

// Whether the folder may be scheduled for removal after its files: it still holds something, and
// everything it holds is a file already scheduled (names compared as ClassifyEntry does).
[[nodiscard]] bool OnlyScheduledLeft(const std::vector<FolderEntry>& left, const std::vector<std::wstring>& scheduled);

// What a removal did. Names are relative to the install folder, or full paths outside it.
struct RemovalReport {
    std::vector<std::wstring> removed;
    std::vector<std::wstring> scheduled;  // removed at the next start of Windows
    std::vector<std::wstring> failed;     // could not be removed, nor scheduled
    std::vector<std::wstring> kept;       // not ours: left in place
    bool folderScheduled = false;
    bool Complete() const { return failed.empty(); }
};

struct ResultPage {
    std::wstring title;
    std::wstring text;
};

// The result page for a report; a failure names at most `maxNames` items.
[[nodiscard]] ResultPage DescribeResult(const RemovalReport& report, std::size_t maxNames = 4);

}  // namespace TVSP::Uninstall
