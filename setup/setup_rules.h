// The installer window's portable decisions: the install-folder rule, the texts it prints, the
// work folder's name and the progress page's steps (docs/installer.md).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace TVSP::Setup {

// Longest install folder the window holds (MAX_PATH without its terminator).
inline constexpr std::size_t kMaxInstallFolder = 259;
// The final component added to the folder the user chose.
inline constexpr wchar_t kInstallLeaf[] = L"tarvosprout";

// The folder text is acceptable when it is "X:\..." with X a drive letter, and no component holds
// a character Windows refuses in a name or is "." or "..". Whether the folder can be created is
// the caller's part. Returns the install folder (the text, trailing backslashes trimmed except a
// drive root's, joined with kInstallLeaf) or nothing when refused; also refused when that would
// not fit kMaxInstallFolder.
[[nodiscard]] std::optional<std::wstring> InstallFolderFor(const std::wstring& folderText);

// The drive root of a folder text: up to and including its first backslash; "c:\" when empty or
// without a backslash.
[[nodiscard]] std::wstring DriveRootOf(const std::wstring& folderText);

// "%4.2fGB" of the free bytes divided by 1024^3.
[[nodiscard]] std::wstring FreeSpaceText(std::uint64_t freeBytes);

// "已完成N%".
[[nodiscard]] std::wstring PercentText(int percent);

struct GuidParts {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0, data3 = 0;
    std::array<std::uint8_t, 8> data4{};
};
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
[[nodiscard]] std::wstring GuidText(const GuidParts& guid);

// One tick of the progress timer, given the counter after its increment, whether the worker has
// ended and whether its report says the installation completed.
struct ProgressStep {
    bool showValue = false;  // set the bar and the percent text to the counter
    bool finish = false;     // kill the timer and leave the installing page
    bool succeeded = false;  // with finish: the success page, otherwise the failure text
};
[[nodiscard]] ProgressStep StepProgress(int counter, bool workerEnded, bool completed);

}  // namespace TVSP::Setup
