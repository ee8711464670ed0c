// Client of the virtual watch's control channel, for Windows test programs running under Wine.
#include <winsock2.h>

#include "testing/vwatch/client/vwatch_client.h"

#include <cstdlib>
#include <utility>

#include "testing/vwatch/escape.h"
#include "testing/vwatch/region_list.h"

namespace tvsp {

namespace {

using vwatch::Escape;
using vwatch::SplitList;
using vwatch::Unescape;

// Owner of one Winsock socket (base/win/handle.h has owners for HANDLE-like values only).
class unique_socket {
public:
    unique_socket() noexcept = default;
    explicit unique_socket(SOCKET s) noexcept : s_(s) {}
    unique_socket(const unique_socket&) = delete;
    unique_socket& operator=(const unique_socket&) = delete;
    unique_socket(unique_socket&& other) noexcept : s_(std::exchange(other.s_, INVALID_SOCKET)) {}
    unique_socket& operator=(unique_socket&& other) noexcept {
        if (this != &other) {
            reset();
            s_ = std::exchange(other.s_, INVALID_SOCKET);
        }
        return *this;
    }
    ~unique_socket() { reset(); }
    SOCKET get() const noexcept { return s_; }
    explicit operator bool() const noexcept { return s_ != INVALID_SOCKET; }
    void reset() noexcept {
        if (s_ != INVALID_SOCKET) ::closesocket(std::exchange(s_, INVALID_SOCKET));
    }

private:
    SOCKET s_ = INVALID_SOCKET;
};

// A plug or unplug runs the rig tool under Wine inside the daemon; give it time, but never hang.
constexpr DWORD kReplyTimeoutMs = 120000;

}  // namespace

// Winsock for the life of the client, and the connection.
struct VirtualWatchClient::Channel {
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
    std::string pending;  // bytes received after the last reply line
};

VirtualWatchClient::VirtualWatchClient() : channel_(std::make_unique<Channel>()) {}
VirtualWatchClient::~VirtualWatchClient() = default;

bool VirtualWatchClient::connected() const { return static_cast<bool>(channel_->socket); }

bool VirtualWatchClient::Connect() {
    char address[128] = {};
    const DWORD n = ::GetEnvironmentVariableA("TVSP_VWATCH", address, sizeof address);
    if (n == 0 || n >= sizeof address) return false;
    return Connect(std::string_view(address, n));
}

bool VirtualWatchClient::Connect(std::string_view address) {
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

std::string VirtualWatchClient::Command(const std::string& line) {
    if (!connected()) return {};
    const std::string request = line + "\n";
    for (std::size_t sent = 0; sent < request.size();) {
        const int n = ::send(channel_->socket.get(), request.data() + sent, static_cast<int>(request.size() - sent), 0);
        if (n <= 0) {
            channel_->socket.reset();
            return {};
        }
        sent += static_cast<std::size_t>(n);
    }
    std::string& pending = channel_->pending;
    for (;;) {
        const std::size_t lf = pending.find('\n');
        if (lf != std::string::npos) {
            std::string reply = pending.substr(0, lf);
            pending.erase(0, lf + 1);
            if (!reply.empty() && reply.back() == '\r') reply.pop_back();
            return reply;
        }
        char buffer[4096];
        const int n = ::recv(channel_->socket.get(), buffer, sizeof buffer, 0);
        if (n <= 0) {
            channel_->socket.reset();
            pending.clear();
            return {};
        }
        pending.append(buffer, static_cast<std::size_t>(n));
    }
}

bool VirtualWatchClient::CommandData(const std::string& line, std::string* data) {
    const std::string reply = Command(line);
    if (reply == "OK") {
        data->clear();
        return true;
    }
    if (reply.compare(0, 3, "OK ") != 0) return false;
    *data = reply.substr(3);
    return true;
}

bool VirtualWatchClient::CommandOk(const std::string& line) {
    std::string data;
    return CommandData(line, &data);
}

bool VirtualWatchClient::Plug(int com) { return CommandOk("plug " + std::to_string(com)); }
bool VirtualWatchClient::Unplug() { return CommandOk("unplug"); }
bool VirtualWatchClient::SetVersion(const std::string& version) { return CommandOk("set version " + Escape(version)); }
bool VirtualWatchClient::SetImei(const std::string& imei) { return CommandOk("set imei " + Escape(imei)); }
bool VirtualWatchClient::SetEcho(bool on) { return CommandOk(on ? "set echo on" : "set echo off"); }
bool VirtualWatchClient::SetRebootUnplugs(bool unplug) {
    return CommandOk(unplug ? "set on-reboot unplug" : "set on-reboot stay");
}
bool VirtualWatchClient::SetDelay(const std::string& cmd, int ms) {
    return CommandOk("set delay " + cmd + " " + std::to_string(ms));
}
bool VirtualWatchClient::SetFault(const std::string& cmd, const std::string& fault) {
    return CommandOk("fault " + cmd + " " + fault);
}
bool VirtualWatchClient::SetRawReply(const std::string& cmd, std::string_view replyBytes) {
    return CommandOk("fault " + cmd + " raw " + Escape(replyBytes));
}
bool VirtualWatchClient::SetRestoreErrors(char part, int count) {
    if (part != 'A' && part != 'B') return false;
    return CommandOk(std::string(part == 'A' ? "fault rsdta-error " : "fault rsdtb-error ") + std::to_string(count));
}
bool VirtualWatchClient::ClearFaults() { return CommandOk("clear-faults"); }
bool VirtualWatchClient::SetDownloadCom(int com) { return CommandOk("set download-com " + std::to_string(com)); }
bool VirtualWatchClient::SetDownloadDelay(int ms) { return CommandOk("set download-delay " + std::to_string(ms)); }
bool VirtualWatchClient::SetNewVersion(const std::string& version) {
    return CommandOk("set new-version " + Escape(version));
}
bool VirtualWatchClient::SetDownloadFault(const std::string& fault) { return CommandOk("fault-dl " + fault); }
bool VirtualWatchClient::DumpRegions(const std::string& dir) { return CommandOk("dump-regions " + Escape(dir)); }
bool VirtualWatchClient::ClearRegions() { return CommandOk("clear-regions"); }
bool VirtualWatchClient::SetSink(bool on) { return CommandOk(on ? "sink on" : "sink off"); }
long long VirtualWatchClient::SunkBytes() {
    std::string data;
    if (!CommandData("sink-count", &data)) return -1;
    return std::strtoll(data.c_str(), nullptr, 10);
}

std::vector<WatchRegion> VirtualWatchClient::Regions(bool* ok) {
    if (ok) *ok = false;
    std::vector<WatchRegion> regions;
    std::string data;
    if (!CommandData("regions", &data)) return regions;
    for (const std::string& item : SplitList(data)) {
        auto r = vwatch::ParseRegionItem(item);
        if (!r) return {};
        regions.push_back({std::move(r->name), r->address, r->length, r->sum32});
    }
    if (ok) *ok = true;
    return regions;
}
bool VirtualWatchClient::Reset() { return CommandOk("reset"); }
bool VirtualWatchClient::ClearLog() { return CommandOk("clear-log"); }

std::vector<WatchCommandRecord> VirtualWatchClient::ReceivedCommandLog() {
    std::vector<WatchCommandRecord> records;
    std::string data;
    if (!CommandData("log", &data)) return records;
    for (const std::string& item : SplitList(data)) {
        // "<ms> <escaped text>"
        const std::size_t space = item.find(' ');
        if (space == std::string::npos) return {};
        auto text = Unescape(std::string_view(item).substr(space + 1));
        if (!text) return {};
        records.push_back({std::strtoll(item.substr(0, space).c_str(), nullptr, 10), std::move(*text)});
    }
    return records;
}

std::vector<std::string> VirtualWatchClient::ReceivedCommands() {
    std::vector<std::string> texts;
    for (WatchCommandRecord& r : ReceivedCommandLog()) texts.push_back(std::move(r.text));
    return texts;
}

bool VirtualWatchClient::RestoreDataParts(std::string* partA, std::string* partB) {
    std::string data;
    if (!CommandData("restore-data", &data)) return false;
    const std::vector<std::string> parts = SplitList(data);
    if (parts.size() != 2) return false;
    auto a = Unescape(parts[0]);
    auto b = Unescape(parts[1]);
    if (!a || !b) return false;
    *partA = std::move(*a);
    *partB = std::move(*b);
    return true;
}

std::string VirtualWatchClient::RestoreData() {
    std::string a;
    std::string b;
    if (!RestoreDataParts(&a, &b) || (a.empty() && b.empty())) return {};
    return a + "\n" + b;
}

std::string VirtualWatchClient::Status() { return Command("status"); }

}  // namespace tvsp
