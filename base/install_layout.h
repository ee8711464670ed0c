// What an installation lays out in the system, named once: the installer writes it, the
// uninstaller removes it, the tool reads the install path.
#pragma once

namespace TVSP::InstallLayout {

inline constexpr wchar_t kProductName[] = L"TarvoSprout";
inline constexpr wchar_t kPublisher[] = L"Tarvo安全中心";

// Registry: the system's program list (HKLM) and the user's install path (HKCU).
inline constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\tarvosprout";
inline constexpr wchar_t kInstallLocationValue[] = L"InstallLocation";
inline constexpr wchar_t kUserKey[] = L"SOFTWARE\\TarvoSprout";
inline constexpr wchar_t kInstallPathValue[] = L"InstallPath";

// Shortcuts: "TarvoSprout.lnk" on all users' desktop; the user's Programs menu gets the folder
// <Programs>\Tarvo安全中心\TarvoSprout holding it and the uninstaller's link.
inline constexpr wchar_t kShortcutName[] = L"TarvoSprout.lnk";
inline constexpr wchar_t kUninstallShortcutName[] = L"卸载TarvoSprout.lnk";
inline constexpr wchar_t kMenuGroupFolder[] = L"Tarvo安全中心";
inline constexpr wchar_t kMenuFolder[] = L"TarvoSprout";

}  // namespace TVSP::InstallLayout
