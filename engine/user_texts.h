// The engine's user texts (Simplified Chinese), kept together; converted only where handed on.
#pragma once

namespace TVSP {

// Failure line of the upgrade page when a flash failed.
inline constexpr wchar_t kFlashFailedText[] = L"升级失败，请拨打400-1234-567联系客服！";

// Battery hints of the upgrade panel, by model (BatteryHintForModel).
inline constexpr wchar_t kBatteryHintHalfCharge[] = L"刷机前请保持设备电量在50%以上";
inline constexpr wchar_t kBatteryHintGreenLight[] = L"刷机前请确保电量充足（未连USB时按键绿灯亮）";
inline constexpr wchar_t kBatteryHintOneBar[] = L"刷机前请保持设备电量至少一格";

// Failure lines of the one-key upgrade.
inline constexpr wchar_t kNotReadyText[] = L"升级失败，请重新插拔TarvoSprout。";
inline constexpr wchar_t kSaveDataFailedText[] = L"升级失败，请重试。";
inline constexpr wchar_t kWatchdogFailedText[] = L"开启看门狗失败，请重试。";
inline constexpr wchar_t kRemovedDuringOtaDownloadText[] = L"升级失败，请长按手表下键15秒，再长按下键开机。";
inline constexpr wchar_t kGuidedFlashTimeoutText[] = L"刷机失败，请重试！";
inline constexpr wchar_t kWatchNotBackText[] = L"恢复数据失败。";

// Status lines of the one-key upgrade.
inline constexpr wchar_t kWritingRomText[] = L"正在写入新ROM";
inline constexpr wchar_t kRestartingText[] = L"正在重启设备";
inline constexpr wchar_t kUpgradedText[] = L"您的TarvoSprout已经更新到最新版本";
inline constexpr wchar_t kSelfUpgradeText[] = L"固件下载成功，手表会自动重启并完成升级";
inline constexpr wchar_t kBackingUpText[] = L"正在进行数据备份";
inline constexpr wchar_t kRestoringText[] = L"正在进行数据恢复";

// Restore of the watch's data.
inline constexpr wchar_t kRestoreFailedText[] = L"恢复数据失败！";
inline constexpr wchar_t kRestoreDownloadFailedText[] = L"下载恢复数据失败！";
inline constexpr wchar_t kRestoreWriteFailedText[] = L"数据恢复失败，请重新连接一下设备";
inline constexpr wchar_t kOnWatchRestoreFailedText[] = L"恢复数据失败，请重新连接一下设备。";
inline constexpr wchar_t kReconnectToFinishText[] = L"请把USB线断开，并重新连接一次即可完成升级";
inline constexpr wchar_t kRestoreSucceededText[] = L"数据恢复成功";

// The USB-disk model's copy.
inline constexpr wchar_t kCopyingText[] = L"正在拷贝新固件，请勿断开数据线，请勿弹出手表优盘！";
inline constexpr wchar_t kCopyDiskFullText[] = L"磁盘空间不足，请删除部分照片，需保证手表优盘里有9M空间才可升级。";
inline constexpr wchar_t kCopyFailedText[] = L"固件拷贝失败，升级过程中请勿断开数据线，请勿弹出手表优盘！";

}  // namespace TVSP
