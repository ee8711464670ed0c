// The WinHTTP GET behind a task: open, send, check the status, read the body under its bound.
#include "companions/netlib/http_fetch.h"

#include <windows.h>
#include <winhttp.h>


#include "base/win/winhttp_handle.h"

namespace TVSP::NetLib {
namespace {

// Generous for a loopback or a slow mobile link, but a dead server never holds a task forever.
constexpr int kConnectTimeoutMs = 15000;
constexpr int kSendTimeoutMs = 30000;
constexpr int kReceiveTimeoutMs = 30000;

FetchOutcome Failed(DWORD error, std::int32_t httpStatus = 0) {
    FetchOutcome outcome;
    outcome.systemError = error;
    outcome.httpStatus = httpStatus;
    return outcome;
}

FetchOutcome FailedWithLastError() { return Failed(::GetLastError()); }

}  // namespace

FetchOutcome FetchUrl(const std::wstring& url, std::uint32_t maxBody) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (url.empty() || !::WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return FailedWithLastError();
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return Failed(ERROR_WINHTTP_UNRECOGNIZED_SCHEME);
    if (parts.dwHostNameLength == 0) return Failed(ERROR_WINHTTP_INVALID_URL);
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring target(parts.lpszUrlPath ? parts.lpszUrlPath : L"", parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) target.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (target.empty()) target = L"/";

    unique_hinternet session(::WinHttpOpen(L"TarvoNetUL/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                           WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return FailedWithLastError();
    if (!::WinHttpSetTimeouts(session.get(), 0, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs))
        return FailedWithLastError();
    unique_hinternet connection(::WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection) return FailedWithLastError();
    // Certificate validation stays as the system does it: no security flag is ever relaxed.
    const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    unique_hinternet request(::WinHttpOpenRequest(connection.get(), L"GET", target.c_str(), nullptr,
                                                  WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request) return FailedWithLastError();
    if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request.get(), nullptr))
        return FailedWithLastError();

    DWORD status = 0;
    DWORD statusSize = sizeof(status);
    if (!::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX))
        return FailedWithLastError();
    if (status != 200) return Failed(0, static_cast<std::int32_t>(status));

    // A connection closed before the announced length ends reads like a short body: compare.
    DWORD announced = 0;
    DWORD announcedSize = sizeof(announced);
    const bool hasLength =
        ::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &announced, &announcedSize, WINHTTP_NO_HEADER_INDEX) != FALSE;
    if (hasLength && announced > maxBody) return Failed(ERROR_NOT_ENOUGH_MEMORY, static_cast<std::int32_t>(status));

    std::string body;
    for (;;) {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request.get(), &available)) {
            FetchOutcome outcome = FailedWithLastError();
            outcome.httpStatus = static_cast<std::int32_t>(status);
            return outcome;
        }
        if (available == 0) break;
        // Checked before allocating: a server announcing a huge chunk must not make us reserve it.
        if (available > maxBody - body.size()) return Failed(ERROR_NOT_ENOUGH_MEMORY, static_cast<std::int32_t>(status));
        const std::size_t before = body.size();
        body.resize(before + available);
        DWORD read = 0;
        if (!::WinHttpReadData(request.get(), body.data() + before, available, &read)) {
            FetchOutcome outcome = FailedWithLastError();
            outcome.httpStatus = static_cast<std::int32_t>(status);
            return outcome;
        }
        body.resize(before + read);
        if (read == 0) break;
    }
    if (hasLength && body.size() != announced) return Failed(ERROR_WINHTTP_INVALID_SERVER_RESPONSE, static_cast<std::int32_t>(status));
    FetchOutcome outcome;
    outcome.succeeded = true;
    outcome.httpStatus = static_cast<std::int32_t>(status);
    outcome.body = std::move(body);
    return outcome;
}

}  // namespace TVSP::NetLib
