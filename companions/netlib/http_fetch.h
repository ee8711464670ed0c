// One bounded HTTP(S) GET through WinHTTP, with the system's certificate validation.
#pragma once

#include <cstdint>
#include <string>

namespace TVSP::NetLib {

struct FetchOutcome {
    bool succeeded = false;        // status 200 and the whole body within the bound
    std::int32_t httpStatus = 0;   // 0 when no response came
    std::uint32_t systemError = 0; // the failing call's error, or 0
    std::string body;              // empty unless succeeded
};

// GET url (http:// or https:// only). Redirects are followed as WinHTTP does by default; a body
// above maxBody bytes is a failure.
FetchOutcome FetchUrl(const std::wstring& url, std::uint32_t maxBody);

}  // namespace TVSP::NetLib
