// Owner of a Winsock socket, in the handle owners' pattern.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "base/win/handle.h"

namespace TVSP {

namespace detail {
inline SOCKET InvalidSocket() noexcept { return INVALID_SOCKET; }
inline void CloseSocketNoResult(SOCKET s) noexcept { ::closesocket(s); }
}  // namespace detail

using unique_socket = unique_any<SOCKET, detail::CloseSocketNoResult, detail::InvalidSocket>;

}  // namespace TVSP
