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
inline constexpr wchar_t kBromConfig[] = L"brom.ini";
inline constexpr wchar_t kGpsLibrary[] = L"GPS_DL.dll";
inline constexpr wchar_t kGpsAgent[] = L"MTK_AllInOne_DA_MT3333_MP.BIN";
inline constexpr wchar_t kNetLibrary[] = L"TarvoNetUL.dll";
inline constexpr wchar_t kPortMender[] = L"PortMender.exe";
inline constexpr wchar_t kDriverInstaller[] = L"driver\\InstallDriver.exe";
// program-folder-files end

// The same files as one table, in the same order (for the installer's copy).
inline constexpr const wchar_t* kShipped[] = {kTool,          kSkinKernel, kSkinControls,  kSkinEffects, kSkinConfig,
                                              kMainSkin,      kConfigIni,  kDownloadLibrary, kBromConfig, kDownloadAgent,
                                              kGpsLibrary,    kGpsAgent,   kNetLibrary,    kPortMender,  kDriverInstaller};

// Files the installer places in the program folder from outside the program folder's build, so
// they stay outside the block above: the uninstaller and its skin (built beside it), and the class
// driver, an operating-system file only present when supplied at packaging time.
inline constexpr wchar_t kUninstaller[] = L"uninst.exe";
inline constexpr wchar_t kUninstallSkin[] = L"uninstallskin.ufd";
inline constexpr wchar_t kClassDriver[] = L"usbser.sys";

// What the installer copies into the program folder, in its order (a member missing from the
// payload is skipped). "Config.ini" and the driver installer are not in it; the installer copies
// every other kShipped file as well.
inline constexpr const wchar_t* kInstalledFiles[] = {
    kMainSkin,     kSkinConfig,  kSkinKernel,   kSkinControls, kTool,       kDownloadLibrary,
    kBromConfig,   kDownloadAgent, kGpsLibrary, kGpsAgent,     kUninstaller, kUninstallSkin,
    kNetLibrary,   kPortMender,  kClassDriver,  kSkinEffects};

// The driver folders the installer copies whole (the vendor's package and InstallDriver.exe in
// "driver"); the uninstaller removes them whole.
inline constexpr const wchar_t* kInstalledDriverFolders[] = {L"driver", L"win7_32", L"win7_64", L"win8_32", L"win8_64", L"win81_32", L"win81_64"};

// Written by the tool at run time, never shipped.
inline constexpr wchar_t kDataFile[] = L"sproutdata.ini";

// The client update: the self-update leaves the cabinet in the update folder, start-up unpacks it
// there and applies it when it carries a newer tool.
inline constexpr wchar_t kUpdateFolder[] = L"update";
inline constexpr wchar_t kUpdateCabinet[] = L"updatefiles.cab";

}  // namespace TVSP::ProgramFiles
