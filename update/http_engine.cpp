// The HTTP/1.1 engine over Winsock.
#include "update/http_engine.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <vector>

#include "base/win/handle.h"
#include "base/win/socket.h"

namespace TVSP {
namespace {

inline void FreeAddressInfo(addrinfo* info) noexcept { ::freeaddrinfo(info); }
inline addrinfo* NoAddressInfo() noexcept { return nullptr; }
using unique_addrinfo = unique_any<addrinfo*, FreeAddressInfo, NoAddressInfo>;

// The socket library for the whole process: started with the first engine, stopped at exit.
class WinsockLibrary {
public:
    static bool Ensure() {
        static WinsockLibrary library;
        return library.started_;
    }
    ~WinsockLibrary() {
        if (started_) ::WSACleanup();
    }

private:
    WinsockLibrary() {
        WSADATA data{};
        started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    bool started_ = false;
};

// Waits until the socket can be written (or its connection ends) or read; false on time-out or error.
bool WaitFor(SOCKET s, bool forWriting, DWORD timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    fd_set errors;
    FD_ZERO(&errors);
    FD_SET(s, &errors);
    timeval wait{static_cast<long>(timeoutMs / 1000), static_cast<long>((timeoutMs % 1000) * 1000)};
    const int ready = ::select(0, forWriting ? nullptr : &set, forWriting ? &set : nullptr, &errors, &wait);
    return ready > 0 && FD_ISSET(s, &set);
}

// A connection to the first address the name resolves to, within the time-out.
unique_socket Connect(const HttpUrl& url, DWORD timeoutMs) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    unique_addrinfo addresses;
    const std::string service = std::to_string(url.port);
    if (::getaddrinfo(url.host.c_str(), service.c_str(), &hints, addresses.put()) != 0 || !addresses) return {};
    const addrinfo* first = addresses.get();
    unique_socket s(::socket(first->ai_family, first->ai_socktype, first->ai_protocol));
    if (!s) return {};
    u_long nonBlocking = 1;
    if (::ioctlsocket(s.get(), FIONBIO, &nonBlocking) != 0) return {};
    if (::connect(s.get(), first->ai_addr, static_cast<int>(first->ai_addrlen)) != 0) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK) return {};
        if (!WaitFor(s.get(), true, timeoutMs)) return {};
        int error = 0;
        int size = sizeof error;
        if (::getsockopt(s.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 || error != 0) {
            return {};
        }
    }
    return s;
}

bool SendAll(SOCKET s, const std::string& bytes, std::size_t block, DWORD timeoutMs) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        if (!WaitFor(s, true, timeoutMs)) return false;
        const int want = static_cast<int>(std::min(block, bytes.size() - sent));
        const int n = ::send(s, bytes.data() + sent, want, 0);
        if (n == SOCKET_ERROR) {
            if (::WSAGetLastError() == WSAEWOULDBLOCK) continue;
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

HttpEngine::HttpEngine(HttpRequestSettings settings) : settings_(std::move(settings)) {}

HttpEngine::~HttpEngine() = default;

const std::string& HttpEngine::Body() const {
    static const std::string empty;
    return parser_ && parser_->IsComplete() ? parser_->Body() : empty;
}

std::optional<std::string> HttpEngine::Header(std::string_view name) const {
    return parser_ ? parser_->Header(name) : std::nullopt;
}

bool HttpEngine::Run(std::string_view url) {
    status_ = -1;
    stopped_ = false;
    std::optional<HttpUrl> next = SplitHttpUrl(url);
    if (!next) return false;
    // One request, then at most maxRedirects more: a loop of redirects ends with its last status.
    for (unsigned requests = 0; requests <= settings_.limits.maxRedirects; ++requests) {
        const HttpUrl current = *next;
        switch (RunOne(current, next)) {
        case Step::Done:
            return true;
        case Step::Failed:
            return false;
        case Step::Redirect:
            if (!next) return false;  // no Location, or one this engine cannot follow
            break;
        }
    }
    return false;
}

HttpEngine::Step HttpEngine::RunOne(const HttpUrl& url, std::optional<HttpUrl>& next) {
    parser_ = std::make_unique<HttpResponseParser>(settings_.limits);
    received_ = 0;
    next.reset();
    if (!WinsockLibrary::Ensure()) return Step::Failed;
    unique_socket s = Connect(url, settings_.timeoutMs);
    if (!s) return Step::Failed;
    if (!SendAll(s.get(), BuildGetRequest(url), settings_.sendBlockBytes, settings_.timeoutMs)) return Step::Failed;

    std::vector<char> block(settings_.readBlockBytes);
    auto progress = HttpResponseParser::Progress::NeedMore;
    while (progress == HttpResponseParser::Progress::NeedMore) {
        if (!WaitFor(s.get(), false, settings_.timeoutMs)) break;
        const int n = ::recv(s.get(), block.data(), static_cast<int>(block.size()), 0);
        if (n == SOCKET_ERROR) {
            if (::WSAGetLastError() == WSAEWOULDBLOCK) continue;
            break;
        }
        if (n == 0) {
            progress = parser_->Finish();
            break;
        }
        received_ += static_cast<std::uint64_t>(n);
        progress = parser_->Feed(block.data(), static_cast<std::size_t>(n));
        status_ = parser_->Status();
        if (settings_.afterBlockRead && !settings_.afterBlockRead(static_cast<std::size_t>(n))) {
            stopped_ = true;
            return Step::Failed;
        }
    }
    status_ = parser_->Status();
    if (progress != HttpResponseParser::Progress::Complete) return Step::Failed;

    switch (ClassifyHttpStatus(status_)) {
    case HttpStatusClass::Success:
        return Step::Done;
    case HttpStatusClass::Redirect:
        if (const auto location = parser_->Header("Location")) next = ResolveLocation(url, *location);
        return Step::Redirect;
    case HttpStatusClass::Failure:
        break;
    }
    return Step::Failed;
}

}  // namespace TVSP
