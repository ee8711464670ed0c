// A line-based TCP control channel to a native test fixture.
#include "base/win/socket.h"
#include "testing/wine/control_channel.h"

#include <cstdlib>

namespace tvsp {

// Winsock for the life of the channel, the connection, and what arrived after the last line.
struct ControlChannel::State {
    State() { started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0; }
    ~State() {
        socket.reset();
        if (started) ::WSACleanup();
    }
    WSADATA data{};
    bool started = false;
    TVSP::unique_socket socket;
    std::string pending;
    unsigned long timeoutMs = 0;
};

ControlChannel::ControlChannel(unsigned long replyTimeoutMs) : state_(std::make_unique<State>()) {
    state_->timeoutMs = replyTimeoutMs;
}

ControlChannel::~ControlChannel() = default;

bool ControlChannel::connected() const { return static_cast<bool>(state_->socket); }

void ControlChannel::Close() {
    state_->socket.reset();
    state_->pending.clear();
}

bool ControlChannel::ConnectFromEnvironment(const char* variable) {
    char address[128] = {};
    const DWORD n = ::GetEnvironmentVariableA(variable, address, sizeof address);
    if (n == 0 || n >= sizeof address) return false;
    return Connect(std::string_view(address, n));
}

bool ControlChannel::Connect(std::string_view address) {
    Close();
    if (!state_->started) return false;
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

    TVSP::unique_socket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s) return false;
    const DWORD timeout = state_->timeoutMs;
    ::setsockopt(s.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    ::setsockopt(s.get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    if (::connect(s.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return false;
    state_->socket = std::move(s);
    return true;
}

bool ControlChannel::SendLine(const std::string& line) {
    if (!connected()) return false;
    const std::string request = line + "\n";
    for (std::size_t sent = 0; sent < request.size();) {
        const int n = ::send(state_->socket.get(), request.data() + sent, static_cast<int>(request.size() - sent), 0);
        if (n <= 0) {
            Close();
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool ControlChannel::ReadLine(std::string* line) {
    std::string& pending = state_->pending;
    for (;;) {
        const std::size_t lf = pending.find('\n');
        if (lf != std::string::npos) {
            *line = pending.substr(0, lf);
            pending.erase(0, lf + 1);
            if (!line->empty() && line->back() == '\r') line->pop_back();
            return true;
        }
        char buffer[65536];
        const int n = connected() ? ::recv(state_->socket.get(), buffer, sizeof buffer, 0) : -1;
        if (n <= 0) {
            Close();
            return false;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string ControlChannel::Command(const std::string& line) {
    std::string reply;
    if (!SendLine(line) || !ReadLine(&reply)) return {};
    return reply;
}

}  // namespace tvsp
