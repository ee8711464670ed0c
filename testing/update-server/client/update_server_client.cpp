// Client of the test update server's control channel, for Windows test programs running under Wine.
#include <winsock2.h>

#include "testing/update-server/client/update_server_client.h"

#include <cstdlib>
#include <utility>

#include "testing/update-server/words.h"
#include "testing/vwatch/escape.h"

namespace tvsp {

namespace {

using updsrv::EscapeWord;

// Owner of one Winsock socket.
class unique_socket {
public:
    unique_socket() noexcept = default;
    explicit unique_socket(SOCKET s) noexcept : s_(s) {}
    unique_socket(const unique_socket&) = delete;
    unique_socket& operator=(const unique_socket&) = delete;
    ~unique_socket() { reset(); }
    unique_socket& operator=(unique_socket&& other) noexcept {
        if (this != &other) {
            reset();
            s_ = std::exchange(other.s_, INVALID_SOCKET);
        }
        return *this;
    }
    SOCKET get() const noexcept { return s_; }
    explicit operator bool() const noexcept { return s_ != INVALID_SOCKET; }
    void reset() noexcept {
        if (s_ != INVALID_SOCKET) ::closesocket(std::exchange(s_, INVALID_SOCKET));
    }

private:
    SOCKET s_ = INVALID_SOCKET;
};

// The server answers at once; a long bound only keeps a broken channel from hanging a test.
constexpr DWORD kReplyTimeoutMs = 60000;

int PortFromEnvironment(const char* name) {
    char text[16] = {};
    const DWORD n = ::GetEnvironmentVariableA(name, text, sizeof text);
    if (n == 0 || n >= sizeof text) return 0;
    char* end = nullptr;
    const long port = std::strtol(text, &end, 10);
    return *end == '\0' && port > 0 && port <= 65535 ? static_cast<int>(port) : 0;
}

std::string Url(const char* scheme, int port, std::string_view path) {
    return std::string(scheme) + "://localhost:" + std::to_string(port) + std::string(path);
}

}  // namespace

// Winsock for the life of the client, and the connection.
struct UpdateServerClient::Channel {
    Channel() { started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0; }
    ~Channel() {
        socket.reset();
        if (started) ::WSACleanup();
    }
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    WSADATA data{};
    bool started = false;
    unique_socket socket;
    std::string pending;  // bytes received after the last line
};

UpdateServerClient::UpdateServerClient() : channel_(std::make_unique<Channel>()) {}
UpdateServerClient::~UpdateServerClient() = default;

bool UpdateServerClient::connected() const { return static_cast<bool>(channel_->socket); }

bool UpdateServerClient::Connect() {
    char address[128] = {};
    const DWORD n = ::GetEnvironmentVariableA("TVSP_UPDATE_SERVER", address, sizeof address);
    if (n == 0 || n >= sizeof address) return false;
    return Connect(std::string_view(address, n));
}

bool UpdateServerClient::Connect(std::string_view address) {
    channel_->socket.reset();
    channel_->pending.clear();
    if (!channel_->started) return false;
    const std::size_t colon = address.rfind(':');
    if (colon == std::string_view::npos) return false;
    const std::string host(address.substr(0, colon));
    const std::string portText(address.substr(colon + 1));
    char* end = nullptr;
    const long port = std::strtol(portText.c_str(), &end, 10);
    if (portText.empty() || *end != '\0' || port <= 0 || port > 65535) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = ::inet_addr(host.c_str());  // inet_pton is newer than XP
    addr.sin_port = ::htons(static_cast<u_short>(port));
    if (addr.sin_addr.s_addr == INADDR_NONE) return false;

    unique_socket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s) return false;
    const DWORD timeout = kReplyTimeoutMs;
    ::setsockopt(s.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    ::setsockopt(s.get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    if (::connect(s.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return false;
    channel_->socket = std::move(s);
    return true;
}

bool UpdateServerClient::EnsureConnected() { return connected() || Connect(); }

bool UpdateServerClient::SendLine(const std::string& line) {
    if (!EnsureConnected()) return false;
    const std::string request = line + "\n";
    for (std::size_t sent = 0; sent < request.size();) {
        const int n = ::send(channel_->socket.get(), request.data() + sent, static_cast<int>(request.size() - sent), 0);
        if (n <= 0) {
            channel_->socket.reset();
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool UpdateServerClient::ReadLine(std::string* line) {
    std::string& pending = channel_->pending;
    for (;;) {
        const std::size_t lf = pending.find('\n');
        if (lf != std::string::npos) {
            *line = pending.substr(0, lf);
            pending.erase(0, lf + 1);
            if (!line->empty() && line->back() == '\r') line->pop_back();
            return true;
        }
        char buffer[65536];
        const int n = connected() ? ::recv(channel_->socket.get(), buffer, sizeof buffer, 0) : -1;
        if (n <= 0) {
            channel_->socket.reset();
            pending.clear();
            return false;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string UpdateServerClient::Command(const std::string& line) {
    std::string reply;
    if (!SendLine(line) || !ReadLine(&reply)) return {};
    return reply;
}

bool UpdateServerClient::CommandOk(const std::string& line) {
    const std::string reply = Command(line);
    return reply == "OK" || reply.compare(0, 3, "OK ") == 0;
}

bool UpdateServerClient::Reply(std::string_view path, int status, std::string_view body, std::string_view mode,
                               long long param, std::string_view headers) {
    std::string line = "reply " + EscapeWord(path) + " " + std::to_string(status) + " " + EscapeWord(body) + " " +
                       std::string(mode);
    if (param != 0) line += "=" + std::to_string(param);
    if (!headers.empty()) line += " " + EscapeWord(headers);
    return CommandOk(line);
}

bool UpdateServerClient::Redirect(std::string_view path, int status, std::string_view location) {
    return CommandOk("redirect " + EscapeWord(path) + " " + std::to_string(status) + " " + EscapeWord(location));
}

bool UpdateServerClient::Raw(std::string_view path, std::string_view bytes) {
    return CommandOk("raw " + EscapeWord(path) + " " + EscapeWord(bytes));
}

bool UpdateServerClient::File(std::string_view path, std::string_view hostFile) {
    return CommandOk("file " + EscapeWord(path) + " " + EscapeWord(hostFile));
}

bool UpdateServerClient::Clear() { return CommandOk("clear"); }
bool UpdateServerClient::ClearRequests() { return CommandOk("clear-requests"); }

std::vector<std::string> UpdateServerClient::Requests(bool* ok) {
    if (ok) *ok = false;
    const auto count = updsrv::ParseRequestCount(Command("requests"));
    if (!count) return {};
    std::vector<std::string> requests;
    requests.reserve(*count);
    for (std::size_t i = 0; i < *count; ++i) {
        std::string line;
        if (!ReadLine(&line)) return {};
        auto bytes = vwatch::Unescape(line);
        if (!bytes) {
            // Out of step with the server: start afresh on the next request.
            channel_->socket.reset();
            channel_->pending.clear();
            return {};
        }
        requests.push_back(std::move(*bytes));
    }
    if (ok) *ok = true;
    return requests;
}

int UpdateServerClient::HttpPort() { return PortFromEnvironment("TVSP_UPDATE_HTTP"); }
int UpdateServerClient::HttpsPort() { return PortFromEnvironment("TVSP_UPDATE_HTTPS"); }
int UpdateServerClient::WrongHttpsPort() { return PortFromEnvironment("TVSP_UPDATE_HTTPS_WRONG"); }
std::string UpdateServerClient::HttpUrl(std::string_view path) { return Url("http", HttpPort(), path); }
std::string UpdateServerClient::HttpsUrl(std::string_view path) { return Url("https", HttpsPort(), path); }
std::string UpdateServerClient::WrongHttpsUrl(std::string_view path) { return Url("https", WrongHttpsPort(), path); }

}  // namespace tvsp
