// The files of the program folder: the one list that start-up, the library bindings, the main
// window, the build's program/ layout and the installer's payload all read.
#pragma once

namespace TVSP::ProgramFiles {

// The build parses the `inline constexpr wchar_t k...[] = L"...";` lines of this block to lay
// out program/: keep one file a line in that form. Every one of them ships. A file in a
// sub-folder is named relative to the program folder (L"driver\\InstallDriver.exe").
// program-folder-files begin
inline constexpr wchar_t kTool[] = L"tarvosprout.exe";
inline constexpr wchar_t kSkinKernel[] = L"UiFeatureKernel.dll";
inline constexpr wchar_t kSkinControls[] = L"UiFeatureNormalControl.dll";
inline constexpr wchar_t kSkinEffects[] = L"UiFeatureEffect.dll";
inline constexpr wchar_t kSkinConfig[] = L"UiFeature.xml";
inline constexpr wchar_t kMainSkin[] = L"TVSPMainWindow.ufd";
inline constexpr wchar_t kConfigIni[] = L"Config.ini";
inline constexpr wchar_t kDownloadLibrary[] = L"brom.dll";
inline constexpr wchar_t kDownloadAgent[] = L"MTK_AllInOne_DA.bin";
inline constexpr wchar_t kGpsLibrary[] = L"GPS_DL.dll";
inline constexpr wchar_t kNetLibrary[] = L"TarvoNetUL.dll";
inline constexpr wchar_t kPortMender[] = L"PortMender.exe";
inline constexpr wchar_t kDriverInstaller[] = L"driver\\InstallDriver.exe";
// program-folder-files end

// The same files as one table, in the same order (for the installer's copy).
inline constexpr const wchar_t* kShipped[] = {kTool,          kSkinKernel, kSkinControls, kSkinEffects,
                                              kSkinConfig,    kMainSkin,   kConfigIni,    kDownloadLibrary,
                                              kDownloadAgent, kGpsLibrary, kNetLibrary,   kPortMender,
                                              kDriverInstaller};

// The driver folders the installer lays out (the vendor's driver package, InstallDriver.exe in
// "driver"): the uninstaller removes them whole.
inline constexpr const wchar_t* kInstalledDriverFolders[] = {L"driver", L"win7_32", L"win7_64", L"win8_32", L"win8_64", L"win81_32", L"win81_64"};

// Written by the tool at run time, never shipped.
inline constexpr wchar_t kDataFile[] = L"sproutdata.ini";

// The client update: the self-update leaves the cabinet in the update folder, start-up unpacks it
// there and applies it when it carries a newer tool.
inline constexpr wchar_t kUpdateFolder[] = L"update";
inline constexpr wchar_t kUpdateCabinet[] = L"updatefiles.cab";

}  // namespace TVSP::ProgramFiles
