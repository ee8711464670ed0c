// Every text the uninstaller shows, in one place.
#pragma once

namespace TVSP::UninstallTexts {

inline constexpr wchar_t kTitle[] = L"卸载 TarvoSprout";
inline constexpr wchar_t kConfirmTitle[] = L"确定要卸载 TarvoSprout 吗？";
inline constexpr wchar_t kConfirmText[] =
    L"将删除程序文件、驱动文件夹、桌面和开始菜单中的快捷方式以及运行时产生的数据。您自己放入安装文件夹的文件会保留。";
inline constexpr wchar_t kConfirm[] = L"确定";
inline constexpr wchar_t kCancel[] = L"取消";
inline constexpr wchar_t kFinish[] = L"完成";

inline constexpr wchar_t kToolRunning[] = L"TarvoSprout 正在运行，请先关闭 TarvoSprout 再卸载。";
inline constexpr wchar_t kWindowFailed[] = L"卸载程序的界面无法打开，卸载没有进行。";

inline constexpr wchar_t kDoneTitle[] = L"卸载完成";
inline constexpr wchar_t kDoneText[] = L"已从您的电脑中卸载 TarvoSprout。";
inline constexpr wchar_t kDoneAfterRestart[] = L"剩余的文件将在重新启动电脑后删除。";
inline constexpr wchar_t kKeptFolder[] = L"安装文件夹中您自己的文件已保留。";
inline constexpr wchar_t kFailedTitle[] = L"卸载未能全部完成";
inline constexpr wchar_t kFailedText[] = L"以下项目未能删除，请关闭正在使用它们的程序后手动删除：";
// Ends a cut failure list: "…等 N 项" with N the number of all items.
inline constexpr wchar_t kMoreItemsBefore[] = L"等 ";
inline constexpr wchar_t kMoreItemsAfter[] = L" 项";
inline constexpr wchar_t kNameSeparator[] = L"、";

}  // namespace TVSP::UninstallTexts
