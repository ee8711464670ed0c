// What the main window says to the user: status lines, titles, and its message boxes.
#pragma once

#include "base/user_caption.h"

namespace TVSP::UiTexts {

// Status panel and bottom bar.
inline constexpr wchar_t kNewVersionConnect[] = L"发现新版本，连接设备，即可升级！";
inline constexpr wchar_t kTestDevice[] = L"抱歉，您的设备为公测设备，由于硬件规格不同，已无法升级";
inline constexpr wchar_t kEnsureNetwork[] = L"请确保手表网络正常，否则无法升级！";
inline constexpr wchar_t kCurrentVersion[] = L"当前固件版本：";
inline constexpr wchar_t kCanUpgrade[] = L"可一键升级";
inline constexpr wchar_t kCopiedUnplug[] =
    L"固件拷贝成功，请拔掉数据线，手表10秒后将自动升级！若手表网络不可用，则无法升级！";
inline constexpr wchar_t kUpToDate[] = L"当前固件已是最新版！";
inline constexpr wchar_t kProductName[] = L"TarvoSprout";
inline constexpr wchar_t kNotConnectedSuffix[] = L"（未连接）";
inline constexpr wchar_t kConnected[] = L"已连接TarvoSprout";
inline constexpr wchar_t kNotConnected[] = L"未连接";
inline constexpr wchar_t kReleaseDateFormat[] = L"%lld年%02u月%02u日";
inline constexpr wchar_t kToolVersionFormat[] = L"客户端版本：V%ls beta";

// Connection guide titles.
inline constexpr wchar_t kConnectGuideTitle[] = L"连接向导";
inline constexpr wchar_t kRestartPromptTitle[] = L"提示";

// Upgrade steps of the window.
inline constexpr wchar_t kDownloadingRom[] = L"正在下载ROM";
inline constexpr wchar_t kRomDownloadFailed[] = L"下载ROM失败,请检查电脑网络";

// Failure panel.
inline constexpr wchar_t kRomCheckFailed[] = L"下载版本信息失败,请检查电脑网络";

// Message boxes.
inline constexpr wchar_t kWatchRestarted[] = L"设备已重启";
inline constexpr wchar_t kRestartToUpdate[] = L"请重启Sprout以便完成升级。";
inline constexpr wchar_t kToolUpToDate[] = L"已经是最新版本。";
inline constexpr wchar_t kConfirmQuitDuringFlash[] = L"正在刷机，确认要退出吗？";
inline constexpr wchar_t kNewToolDownloaded[] = L"检测到新版本，请重启Sprout以便完成升级。";

}  // namespace TVSP::UiTexts
