// Conversions between UTF-16 and narrow text (thread ANSI code page, or UTF-8) at API boundaries.
#pragma once

#include <string>
#include <string_view>

namespace TVSP {

// Narrow text in the thread's ANSI code page (GBK on Simplified Chinese systems).
std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

// UTF-8, for protocols and test output.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

}  // namespace TVSP
