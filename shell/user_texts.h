// What the process shell says to the user: the start-up messages.
#pragma once

#include "base/user_caption.h"

namespace TVSP::ShellTexts {

inline constexpr wchar_t kKernelInvalid[] = L"程序依赖的UiFeatureKernel.dll无效，无法启动！";
inline constexpr wchar_t kControlsInvalid[] = L"程序依赖的UiFeatureNormalControl.dll无效，无法启动！";
inline constexpr wchar_t kEffectsInvalid[] = L"程序依赖的UiFeatureEffect.dll无效，无法启动！";
inline constexpr wchar_t kDownloadLibraryInvalid[] = L"程序依赖的brom.dll无效，无法启动！";
inline constexpr wchar_t kGpsLibraryInvalid[] = L"程序依赖的GPS_DL.dll无效，无法启动！";
inline constexpr wchar_t kCannotCreateWindow[] = L"无法创建窗口！";
// The program's own path does not fit 260 characters, so none of its files can be named.
inline constexpr wchar_t kProgramFolderTooLong[] =
    L"程序所在文件夹的路径过长，无法启动！请将TarvoSprout安装到路径较短的文件夹。";

}  // namespace TVSP::ShellTexts
