// The engine's user texts (Simplified Chinese), kept together; converted only where handed on.
#pragma once

namespace TVSP {

// Failure line of the upgrade page when a flash failed.
inline constexpr wchar_t kFlashFailedText[] = L"升级失败，请拨打400-1234-567联系客服！";

// Battery hints of the upgrade panel, by model (BatteryHintForModel).
inline constexpr wchar_t kBatteryHintHalfCharge[] = L"刷机前请保持设备电量在50%以上";
inline constexpr wchar_t kBatteryHintGreenLight[] = L"刷机前请确保电量充足（未连USB时按键绿灯亮）";
inline constexpr wchar_t kBatteryHintOneBar[] = L"刷机前请保持设备电量至少一格";

}  // namespace TVSP
