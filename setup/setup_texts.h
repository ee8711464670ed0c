// Every text the installer's window and start-up show, in one place.
#pragma once

namespace TVSP::SetupTexts {

inline constexpr wchar_t kToolRunning[] = L"检测到TarvoSprout正在运行，请关闭后再升级！";
inline constexpr wchar_t kWindowFailed[] = L"无法创建窗口！";
inline constexpr wchar_t kInvalidPath[] = L"路径不合法，请重新输入！";
inline constexpr wchar_t kUnsigned[] = L"无法启动程序，因为没有Tarvo安全认证！";
inline constexpr wchar_t kBrowseTitle[] = L"请选择文件夹";
inline constexpr wchar_t kSpaceNeeded[] = L"15.4MB";
inline constexpr wchar_t kDefaultFolderName[] = L"Tarvo";
// Printf formats: the free space and the progress text.
inline constexpr wchar_t kFreeSpaceFormat[] = L"%4.2fGB";
inline constexpr wchar_t kPercentFormat[] = L"已完成%d%%";

inline constexpr wchar_t kDoneTitle[] = L"安装完成";
inline constexpr wchar_t kDoneText[] = L"TarvoSprout 已成功安装到您的电脑。";
// The actions reported an incomplete installation: never offer to start a program that is not there.
inline constexpr wchar_t kFailedTitle[] = L"安装未能完成";
inline constexpr wchar_t kFailedText[] =
    L"部分文件未能安装，TarvoSprout 可能无法运行。请关闭正在使用安装文件夹的程序，或选择其他文件夹后重新安装。";

}  // namespace TVSP::SetupTexts
