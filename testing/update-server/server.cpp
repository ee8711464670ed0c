// The test update server daemon: listeners, a thread per connection, the shared scenario.
#include "testing/daemon/daemon_support.h"
#include "testing/update-server/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "testing/update-server/request_head.h"

namespace tvsp::updsrv {

namespace {


// Set by "quit" on the control thread that carries it out, so its "OK" goes out before the end.
thread_local bool t_quitAfterReply = false;

void Say(const std::string& text) { std::fprintf(stderr, "tvsp-update-server: %s\n", text.c_str()); }

// Connections served at once (HTTP and control together); more are closed at once.
constexpr std::size_t kMaxConnections = 128;
// A request must arrive whole within this time.
constexpr auto kRequestTime = std::chrono::seconds(30);
// Backstops for a peer that stalls inside a TLS record or stops reading a reply.
constexpr int kSocketReceiveTimeoutS = 10;
constexpr int kSocketSendTimeoutS = 60;
constexpr std::size_t kMaxControlLine = 8u << 20;
// How long a stopping server waits for its connections to end.
constexpr auto kStopWait = std::chrono::seconds(5);

void SetTimeouts(int fd) {
    timeval receive{kSocketReceiveTimeoutS, 0};
    timeval send{kSocketSendTimeoutS, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &receive, sizeof receive);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send, sizeof send);
}

std::optional<std::uint64_t> HostFileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), R_OK) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

}  // namespace

Server::Server(Options options) : options_(std::move(options)) {}

Server::~Server() {
    for (Listener& l : listeners_) {
        if (l.fd >= 0) ::close(l.fd);
    }
}

int Server::Run() {
    std::string error;
    if (!daemon::InstallSignalPipe()) {
        Say(std::string("signal set-up failed: ") + std::strerror(errno));
        return 1;
    }
    if (!options_.cert.empty()) {
        tls_ = LoadTlsContext(options_.cert, options_.key, &error);
        if (!tls_) {
            Say(error);
            return 1;
        }
    }
    if (!options_.wrongCert.empty()) {
        wrongTls_ = LoadTlsContext(options_.wrongCert, options_.wrongKey, &error);
        if (!wrongTls_) {
            Say(error);
            return 1;
        }
    }
    if (!Listen(Kind::Control, options_.controlPort, &error) || !Listen(Kind::Http, options_.httpPort, &error) ||
        (tls_ && !Listen(Kind::Https, options_.httpsPort, &error)) ||
        (wrongTls_ && !Listen(Kind::WrongHttps, options_.wrongPort, &error))) {
        Say(error);
        return 1;
    }
    if (!options_.readyFile.empty() && !WriteReadyFile(&error)) {
        Say(error);
        return 1;
    }
    Say("control=" + std::to_string(PortOf(Kind::Control)) + " http=" + std::to_string(PortOf(Kind::Http)) +
        " https=" + std::to_string(PortOf(Kind::Https)) + " wrong=" + std::to_string(PortOf(Kind::WrongHttps)));

    std::vector<pollfd> fds;
    fds.push_back({daemon::SignalPipeFd(), POLLIN, 0});
    for (const Listener& l : listeners_) fds.push_back({l.fd, POLLIN, 0});
    for (;;) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            Say(std::string("poll: ") + std::strerror(errno));
            break;
        }
        if (fds[0].revents) {
            Say("ending");
            break;
        }
        for (std::size_t i = 0; i < listeners_.size(); ++i) {
            if (fds[i + 1].revents & POLLIN) Accept(listeners_[i]);
        }
    }
    const bool allEnded = StopConnections();
    if (readyFileWritten_) ::unlink(options_.readyFile.c_str());
    // A thread still running uses this object: end the process before it is destroyed.
    if (!allEnded) std::_Exit(0);
    return 0;
}

bool Server::Listen(Kind kind, int port, std::string* error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    listeners_.push_back({kind, fd, 0});
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
        *error = "listening on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        *error = std::string("getsockname: ") + std::strerror(errno);
        return false;
    }
    listeners_.back().port = ntohs(addr.sin_port);
    return true;
}

int Server::PortOf(Kind kind) const {
    for (const Listener& l : listeners_) {
        if (l.kind == kind) return l.port;
    }
    return 0;
}

bool Server::WriteReadyFile(std::string* error) {
    // Written under a temporary name and renamed, so a reader never sees half of it.
    const std::string text = "control=" + std::to_string(PortOf(Kind::Control)) +
                             " http=" + std::to_string(PortOf(Kind::Http)) +
                             " https=" + std::to_string(PortOf(Kind::Https)) +
                             " wrong=" + std::to_string(PortOf(Kind::WrongHttps)) + "\n";
    if (!daemon::WriteFileAtomically(options_.readyFile, text, error)) return false;
    readyFileWritten_ = true;
    return true;
}

void Server::Accept(const Listener& listener) {
    JoinFinished();
    for (;;) {
        const int fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        {
            std::lock_guard lock(connectionsMutex_);
            if (stopping_ || connections_.size() >= kMaxConnections) {
                ::close(fd);
                continue;
            }
            connections_.insert(fd);
        }
        SetTimeouts(fd);
        SSL_CTX* context = listener.kind == Kind::Https        ? tls_.get()
                           : listener.kind == Kind::WrongHttps ? wrongTls_.get()
                                                               : nullptr;
        if (listener.kind == Kind::Control) {
            threads_.emplace_back([this, fd] { ServeControl(fd); });
        } else {
            threads_.emplace_back([this, fd, context] { ServeHttp(fd, context); });
        }
    }
}

void Server::Release(int fd) {
    std::lock_guard lock(connectionsMutex_);
    connections_.erase(fd);
    ::close(fd);
    finished_.push_back(std::this_thread::get_id());
    connectionsChanged_.notify_all();
}

void Server::JoinFinished() {
    std::vector<std::thread::id> finished;
    {
        std::lock_guard lock(connectionsMutex_);
        finished.swap(finished_);
    }
    // Joined rather than detached: a thread's own clean-up (OpenSSL's per-thread state) must be
    // over before the process ends.
    for (const std::thread::id id : finished) {
        const auto it = std::find_if(threads_.begin(), threads_.end(),
                                     [id](const std::thread& t) { return t.get_id() == id; });
        if (it == threads_.end()) continue;
        it->join();
        threads_.erase(it);
    }
}

bool Server::StopConnections() {
    for (Listener& l : listeners_) {
        ::close(l.fd);
        l.fd = -1;
    }
    std::unique_lock lock(connectionsMutex_);
    stopping_ = true;
    // Wakes every thread blocked on its socket; each then ends and releases it.
    for (int fd : connections_) ::shutdown(fd, SHUT_RDWR);
    connectionsChanged_.notify_all();
    if (!connectionsChanged_.wait_for(lock, kStopWait, [this] { return connections_.empty(); })) {
        Say(std::to_string(connections_.size()) + " connections still open at exit");
        return false;
    }
    lock.unlock();
    JoinFinished();
    return true;
}

bool Server::Pause(std::int64_t ms) {
    std::unique_lock lock(connectionsMutex_);
    return !connectionsChanged_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
}

void Server::ServeHttp(int fd, SSL_CTX* context) {
    std::unique_ptr<Stream> stream = context ? AcceptTlsStream(fd, context) : MakePlainStream(fd);
    if (stream) {
        const auto deadline = std::chrono::steady_clock::now() + kRequestTime;
        auto readMore = [&](std::string& raw, std::size_t atMost) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || stopping_) return false;
            char buffer[16384];
            std::size_t got = 0;
            const auto r = stream->Read(buffer, std::min(sizeof buffer, atMost), static_cast<int>(left.count()), &got);
            if (r != Stream::ReadResult::Data) return false;
            raw.append(buffer, got);
            return true;
        };
        auto record = [this](std::string raw) {
            std::lock_guard lock(scenarioMutex_);
            scenario_.Record(std::move(raw));
        };

        std::string raw;
        std::size_t headEnd = std::string::npos;
        bool complete = false;
        std::optional<ReplyPlan> plan;
        while ((headEnd = HeadEnd(raw)) == std::string::npos) {
            if (raw.size() > kMaxRequestHead) {
                plan = PlanStatusOnly(431);
                break;
            }
            if (!readMore(raw, kMaxRequestHead + 1 - std::min(raw.size(), kMaxRequestHead))) break;
        }
        if (headEnd != std::string::npos) {
            const std::string_view head(raw.data(), headEnd);
            const std::optional<std::uint64_t> bodyLength = RequestBodyLength(head);
            if (!bodyLength) {
                plan = PlanStatusOnly(400);
            } else if (*bodyLength > kMaxRequestBody) {
                raw.resize(headEnd);
                plan = PlanStatusOnly(413);
            } else {
                const std::size_t total = headEnd + static_cast<std::size_t>(*bodyLength);
                while (raw.size() < total && readMore(raw, total - raw.size())) {
                }
                complete = raw.size() >= total;
                if (complete) raw.resize(total);
            }
        }
        if (complete) {
            const std::string path = RequestPath(std::string_view(raw.data(), headEnd));
            std::optional<Route> route;
            {
                std::lock_guard lock(scenarioMutex_);
                scenario_.Record(raw);
                if (const Route* found = scenario_.Find(path)) route = *found;
            }
            plan = PlanReply(route ? &*route : nullptr, HostFileSize);
        } else if (!raw.empty()) {
            // A request cut short or refused is recorded too: tests look at what the client sent.
            record(std::move(raw));
        }
        const bool orderly = plan ? Execute(*stream, *plan) : true;
        stream->End(orderly);
        stream.reset();
    }
    Release(fd);
}

bool Server::Execute(Stream& stream, const ReplyPlan& plan) {
    for (const Step& step : plan.steps) {
        if (stopping_) return false;
        switch (step.kind) {
        case Step::Kind::Send:
            if (!stream.Write(step.bytes)) return false;
            break;
        case Step::Kind::Drip:
            for (std::size_t i = 0; i < step.bytes.size(); ++i) {
                if (i > 0 && !Pause(step.intervalMs)) return false;
                if (!stream.Write(std::string_view(step.bytes).substr(i, 1))) return false;
            }
            break;
        case Step::Kind::Repeat:
            while (!stopping_ && stream.Write(step.bytes)) {
            }
            return false;
        case Step::Kind::SendFile:
            if (!SendFile(stream, step)) return false;
            break;
        case Step::Kind::WaitForClose:
            for (;;) {
                char buffer[4096];
                std::size_t got = 0;
                const auto r = stream.Read(buffer, sizeof buffer, 1000, &got);
                if (stopping_ || r == Stream::ReadResult::Closed || r == Stream::ReadResult::Failed) return false;
            }
        }
    }
    return plan.orderlyClose;
}

bool Server::SendFile(Stream& stream, const Step& step) {
    const int file = ::open(step.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        Say("cannot open " + step.path + ": " + std::strerror(errno));
        return false;
    }
    std::vector<char> buffer(1 << 16);
    std::uint64_t left = step.fileSize;
    bool ok = true;
    while (left > 0 && ok && !stopping_) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        const ssize_t n = ::read(file, buffer.data(), piece);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // The file shrank after the length was announced: the reply is cut short.
            Say("file " + step.path + " ended early");
            ok = false;
            break;
        }
        ok = stream.Write(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        left -= static_cast<std::uint64_t>(n);
    }
    ::close(file);
    return ok && left == 0;
}

void Server::ServeControl(int fd) {
    std::unique_ptr<Stream> stream = MakePlainStream(fd);
    std::string in;
    bool open = true;
    while (open && !stopping_) {
        char buffer[65536];
        std::size_t got = 0;
        const auto r = stream->Read(buffer, sizeof buffer, 1000, &got);
        if (r == Stream::ReadResult::TimedOut) continue;
        if (r != Stream::ReadResult::Data) break;
        in.append(buffer, got);
        std::size_t start = 0;
        for (std::size_t end; open && (end = in.find('\n', start)) != std::string::npos; start = end + 1) {
            std::string_view line(in.data() + start, end - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            std::string reply;
            {
                std::lock_guard lock(scenarioMutex_);
                reply = HandleControlLine(line, scenario_, *this);
            }
            open = stream->Write(reply + "\n");
            if (t_quitAfterReply) {
                t_quitAfterReply = false;
                daemon::RequestStop();
            }
        }
        in.erase(0, start);
        if (open && in.size() > kMaxControlLine) {
            stream->Write("ERR request line too long\n");
            open = false;
        }
    }
    stream.reset();
    Release(fd);
}

std::string Server::HostPath(std::string_view path) const { return daemon::HostPath(options_.prefix, path); }

void Server::RequestQuit() { t_quitAfterReply = true; }

}  // namespace tvsp::updsrv
