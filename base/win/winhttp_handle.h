// Owner of a WinHTTP session, connection or request; only programs that link winhttp include it.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include "base/win/handle.h"

namespace TVSP {

namespace detail {
inline HINTERNET NullInternet() noexcept { return nullptr; }
inline void WinHttpCloseNoResult(HINTERNET h) noexcept { ::WinHttpCloseHandle(h); }
}  // namespace detail

using unique_hinternet = unique_any<HINTERNET, detail::WinHttpCloseNoResult, detail::NullInternet>;

}  // namespace TVSP
