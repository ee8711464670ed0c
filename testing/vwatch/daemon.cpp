// The virtual watch daemon: one poll() loop over the pty master, the control sockets and signals.
#include "testing/daemon/daemon_support.h"
#include "testing/vwatch/daemon.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace tvsp::vwatch {

namespace {


void Say(const std::string& text) { std::fprintf(stderr, "vwatch: %s\n", text.c_str()); }

// A port nobody reads fills up; past this the watch's bytes are lost, as on a real line. It holds
// the echo of the longest line the watch takes and the reply behind it: a reply dropped after a
// long echo would look like a silent watch.
constexpr std::size_t kMaxPortBacklog = 4 * WatchModel::kMaxLine;
constexpr std::size_t kMaxRequestLine = 8 << 20;

}  // namespace

Daemon::Daemon(Options options)
    : options_(std::move(options)), model_(options_.watch), com_(options_.com) {
    rig_.prefix = options_.prefix;
    rig_.rigExe = options_.rigExe;
    rig_.wine64 = options_.wine64;
    // Without the rig tool no Wine is at hand: the disk, like the port, is only linked.
    rig_.linkOnlyDrives = options_.rigExe.empty();
    startNs_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch()).count();
}

Daemon::~Daemon() {
    for (Client& c : clients_) ::close(c.fd);
    if (listenFd_ >= 0) ::close(listenFd_);
}

std::int64_t Daemon::NowMs() const {
    const std::int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch()).count();
    return (ns - startNs_) / 1000000;
}

int Daemon::Run() {
    std::string error;
    if (!daemon::InstallSignalPipe()) {
        Say(std::string("signal set-up failed: ") + std::strerror(errno));
        return 1;
    }
    // A daemon killed before it could unplug its disk left a mount: it goes before anything else.
    if (!options_.prefix.empty()) {
        for (const std::string& line : UsbDisk::RemoveStale(rig_)) Say("stale disk " + line);
    }
    if (!Listen(&error)) {
        Say(error);
        return 1;
    }
    if (options_.plug) {
        if (!Plug(com_, &error)) {
            Say("cannot plug in on COM" + std::to_string(com_) + ": " + error);
            return 1;
        }
        model_.Attached();
    }
    if (!options_.readyFile.empty() && !WriteReadyFile(&error)) {
        Say(error);
        Unplug(nullptr);
        return 1;
    }
    Say("control channel on 127.0.0.1:" + std::to_string(controlPort_));
    Serve();
    FlushClientsBeforeExit();
    if (!Unplug(&error)) Say("unplugging at exit: " + error);
    if (!UnplugDisk(&error)) Say("unplugging the disk at exit: " + error);
    if (readyFileWritten_) ::unlink(options_.readyFile.c_str());
    return 0;
}

bool Daemon::Listen(std::string* error) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(options_.controlPort));
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 16) != 0) {
        *error = "listening on 127.0.0.1:" + std::to_string(options_.controlPort) + ": " + std::strerror(errno);
        return false;
    }
    socklen_t len = sizeof addr;
    if (::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        *error = std::string("getsockname: ") + std::strerror(errno);
        return false;
    }
    controlPort_ = ntohs(addr.sin_port);
    return true;
}

bool Daemon::WriteReadyFile(std::string* error) {
    // Written under a temporary name and renamed, so a reader never sees half of it.
    const std::string text = std::to_string(controlPort_) + "\n";
    if (!daemon::WriteFileAtomically(options_.readyFile, text, error)) return false;
    readyFileWritten_ = true;
    return true;
}

bool Daemon::Plug(int com, std::string* error) {
    scheduled_.reset();
    if (port_ && portKind_ == PortKind::Normal && com == portCom_) return true;
    if (options_.prefix.empty()) {
        if (error) *error = "no --prefix to plug into";
        return false;
    }
    if (port_ && !UnplugPort(error)) return false;
    if (!PlugPort(com, PortKind::Normal, error)) return false;
    com_ = com;
    return true;
}

bool Daemon::Unplug(std::string* error) {
    scheduled_.reset();
    return UnplugPort(error);
}

bool Daemon::PlugPort(int com, PortKind kind, std::string* error) {
    std::unique_ptr<PtyPort> pty = PtyPort::Open(error);
    if (!pty) return false;
    if (!rig_.MapComPort(com, pty->slavePath(), error)) return false;
    // Both ports carry the same hardware id, as the real watch's boot ROM and firmware do.
    const std::string serial = (kind == PortKind::Normal ? "TVSPVW" : "TVSPDL") + std::to_string(com);
    if (!rig_.RegisterWatchPort(com, serial, "USB\\VID_0E8D&PID_0003", error)) {
        rig_.UnmapComPort(com, nullptr);
        return false;
    }
    port_ = std::move(pty);
    portKind_ = kind;
    portCom_ = com;
    serial_ = serial;
    pending_.clear();
    portOut_.clear();
    Say(std::string(kind == PortKind::Normal ? "plugged in" : "download port arrived") + " on COM" +
        std::to_string(com) + " (" + port_->slavePath() + ")");
    return true;
}

bool Daemon::UnplugPort(std::string* error) {
    if (!port_) return true;
    std::string unregisterError;
    std::string unmapError;
    const bool unregistered = rig_.UnregisterWatchPort(serial_, &unregisterError);
    const bool unmapped = rig_.UnmapComPort(portCom_, &unmapError);
    port_.reset();
    pending_.clear();
    portOut_.clear();
    Say(std::string(portKind_ == PortKind::Normal ? "unplugged from COM" : "download port removed from COM") +
        std::to_string(portCom_));
    if (error) *error = !unregistered ? unregisterError : unmapError;
    return unregistered && unmapped;
}

int Daemon::PollTimeoutMs() const {
    if (pending_.empty() && !scheduled_) return -1;
    std::int64_t due = scheduled_ ? scheduled_->dueMs : pending_.front().dueMs;
    if (!pending_.empty()) due = std::min(due, pending_.front().dueMs);
    return static_cast<int>(std::clamp<std::int64_t>(due - NowMs(), 0, 60000));
}

void Daemon::RunScheduled() {
    if (!scheduled_ || scheduled_->dueMs > NowMs()) return;
    const Scheduled::What what = scheduled_->what;
    const int returnAfterMs = scheduled_->returnAfterMs;
    scheduled_.reset();
    std::string error;
    if (what == Scheduled::What::DownloadArrives) {
        const int com = model_.settings().downloadCom != 0 ? model_.settings().downloadCom : com_;
        if (!PlugPort(com, PortKind::Download, &error)) {
            Say("download port on COM" + std::to_string(com) + " failed: " + error);
            return;
        }
        model_.AttachedDownload();
        return;
    }
    if (what == Scheduled::What::RejoinLeaves) {
        // The new firmware installs itself: the watch leaves the USB once more.
        FlushPort();
        if (!UnplugPort(&error)) Say("leaving for the rejoin: " + error);
        model_.Detached();
        scheduled_ = Scheduled{Scheduled::What::RejoinReturns, NowMs() + returnAfterMs};
        Say("installing the new firmware: back on COM" + std::to_string(com_) + " in " +
            std::to_string(returnAfterMs) + " ms");
        return;
    }
    if (what == Scheduled::What::RejoinReturns) {
        if (!PlugPort(com_, PortKind::Normal, &error)) {
            Say("normal port on COM" + std::to_string(com_) + " failed: " + error);
            return;
        }
        model_.Rejoined();
        Say("rejoined in normal mode, version " + model_.settings().version);
        return;
    }
    // The watchdog fired: the boot ROM's port goes and the firmware's comes.
    FlushPort();
    if (!UnplugPort(&error)) Say("removing the download port: " + error);
    model_.Detached();
    if (!PlugPort(com_, PortKind::Normal, &error)) {
        Say("normal port on COM" + std::to_string(com_) + " failed: " + error);
        return;
    }
    const std::optional<AfterRestart> rejoin = model_.RestartedNormal();
    Say("restarted in normal mode, version " + model_.settings().version);
    if (rejoin) {
        scheduled_ = Scheduled{Scheduled::What::RejoinLeaves, NowMs() + rejoin->unplugAfterMs, rejoin->plugAfterMs};
        Say("rejoin: leaving COM" + std::to_string(com_) + " in " + std::to_string(rejoin->unplugAfterMs) + " ms");
    }
}

bool Daemon::PlugDisk(char letter, std::uint64_t sizeBytes, std::string* error) {
    if (!disk_.Plug(letter, sizeBytes, error)) return false;
    Say(std::string("disk plugged in as ") + letter + ": (" + std::to_string(sizeBytes) + " bytes)");
    return true;
}

bool Daemon::UnplugDisk(std::string* error) {
    const DiskState was = disk_.state();
    if (!disk_.Unplug(error)) return false;
    if (was.plugged) Say(std::string("disk ") + was.letter + ": unplugged");
    return true;
}

std::string Daemon::HostPath(std::string_view path) const { return daemon::HostPath(options_.prefix, path); }

void Daemon::Serve() {
    std::vector<pollfd> fds;
    while (!quit_) {
        fds.clear();
        fds.push_back({daemon::SignalPipeFd(), POLLIN, 0});
        fds.push_back({listenFd_, POLLIN, 0});
        const int portFd = port_ ? port_->masterFd() : -1;
        fds.push_back({portFd, static_cast<short>(POLLIN | (portOut_.empty() ? 0 : POLLOUT)), 0});
        for (const Client& c : clients_) {
            fds.push_back({c.fd, static_cast<short>(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
        }
        if (::poll(fds.data(), fds.size(), PollTimeoutMs()) < 0) {
            if (errno == EINTR) continue;
            Say(std::string("poll: ") + std::strerror(errno));
            return;
        }
        if (fds[0].revents) {
            Say("signal received, ending");
            return;
        }
        ReleaseDueWrites();
        RunScheduled();
        if (port_ && port_->masterFd() == portFd && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) ReadPort();
        if (port_ && (fds[2].revents & POLLOUT)) FlushPort();
        // Clients accepted now were not polled; their turn comes next round.
        const std::size_t polledClients = clients_.size();
        for (std::size_t i = 0; i < polledClients && !quit_; ++i) {
            if (fds[3 + i].revents & (POLLIN | POLLHUP | POLLERR)) ReadClient(clients_[i]);
            if (!clients_[i].closed && !clients_[i].out.empty()) FlushClient(clients_[i]);
        }
        if (fds[1].revents & POLLIN) AcceptClients();
        std::erase_if(clients_, [](const Client& c) {
            if (c.closed) ::close(c.fd);
            return c.closed;
        });
    }
}

void Daemon::ReadPort() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(port_->masterFd(), buffer, sizeof buffer);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return;  // EAGAIN: all read; the slave kept open here means no hang-up to handle
        }
        const std::int64_t now = NowMs();
        Reaction reaction = model_.Receive(std::string_view(buffer, static_cast<std::size_t>(n)), now);
        for (Transmission& t : reaction.writes) {
            // One command at a time, as the watch works: a reply never overtakes an earlier one.
            std::int64_t due = now + t.delayMs;
            if (!pending_.empty()) due = std::max(due, pending_.back().dueMs);
            pending_.push_back({due, std::move(t.bytes)});
        }
        ReleaseDueWrites();
        if (reaction.restartAfterMs) {
            scheduled_ = Scheduled{Scheduled::What::RestartNormal, now + *reaction.restartAfterMs};
            Say("watchdog set: restarting in normal mode in " + std::to_string(*reaction.restartAfterMs) + " ms");
        }
        if (reaction.dropPort) {
            FlushPort();
            std::string error;
            if (!UnplugPort(&error)) Say("unplugging: " + error);
            if (reaction.downloadAfterMs) {
                scheduled_ = Scheduled{Scheduled::What::DownloadArrives, now + *reaction.downloadAfterMs};
                Say("rebooting: download port due in " + std::to_string(*reaction.downloadAfterMs) + " ms");
            } else {
                Say("gone from the port; it does not come back by itself");
            }
            return;
        }
    }
}

void Daemon::ReleaseDueWrites() {
    const std::int64_t now = NowMs();
    while (!pending_.empty() && pending_.front().dueMs <= now) {
        if (portOut_.size() < kMaxPortBacklog) portOut_ += pending_.front().bytes;
        pending_.pop_front();
    }
    FlushPort();
}

void Daemon::FlushPort() {
    while (port_ && !portOut_.empty()) {
        const ssize_t n = ::write(port_->masterFd(), portOut_.data(), portOut_.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // full: poll for POLLOUT
        portOut_.erase(0, static_cast<std::size_t>(n));
    }
}

void Daemon::AcceptClients() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        clients_.push_back({fd, {}, {}, false});
    }
}

void Daemon::ReadClient(Client& client) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) {
            client.closed = true;
            return;
        }
        client.in.append(buffer, static_cast<std::size_t>(n));
    }
    std::size_t start = 0;
    for (std::size_t end; !quit_ && (end = client.in.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string_view line(client.in.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        client.out += HandleControlLine(line, model_, *this);
        client.out += '\n';
    }
    client.in.erase(0, start);
    if (client.in.size() > kMaxRequestLine) {
        client.out += "ERR request line too long\n";
        FlushClient(client);
        client.closed = true;
    }
}

void Daemon::FlushClient(Client& client) {
    while (!client.out.empty()) {
        const ssize_t n = ::send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n <= 0) {
            client.closed = true;
            return;
        }
        client.out.erase(0, static_cast<std::size_t>(n));
    }
}

void Daemon::FlushClientsBeforeExit() {
    // The "OK" to "quit" should reach its sender; give slow readers a moment, not forever.
    const std::int64_t deadline = NowMs() + 1000;
    for (Client& c : clients_) {
        while (!c.closed && !c.out.empty() && NowMs() < deadline) {
            FlushClient(c);
            if (c.out.empty() || c.closed) break;
            pollfd p{c.fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
}

}  // namespace tvsp::vwatch
