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

// Connection guide: instructions for the chosen model, its boxes, the driver repair.
inline constexpr wchar_t kHoldLowerKey10s[] = L"长按设备下键10秒钟，然后点击下一步";
inline constexpr wchar_t kHoldKey10s[] = L"长按设备按键10秒钟，然后点击下一步";
inline constexpr wchar_t kHoldLowerKey20s[] = L"长按设备下键20秒钟，然后点击下一步";
inline constexpr wchar_t kReseatBackCover[] = L"拆卸设备后盖并重新安装，然后点击下一步";
inline constexpr wchar_t kHoldKey15sThenPress[] = L"长按按键15秒后，点击下一步，再短按按键";
inline constexpr wchar_t kRestartByKeysAndReconnect[] = L"请长按手表下键15秒，再长按下键开机，然后重新连接USB线。";
inline constexpr wchar_t kChooseModel[] = L"请选择设备型号。";
inline constexpr wchar_t kUseOneKeyUpgrade[] = L"请点“一键升级”进行升级";
inline constexpr wchar_t kRepairingDriver[] = L"正在修复驱动程序...";
inline constexpr wchar_t kDriverRepaired[] = L"驱动修复成功，请重新插拔手表";
inline constexpr wchar_t kRepairProgramNotSigned[] = L"程序PortMender无Tarvo签名，被非法替换了，无法启动！";

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
