// The test update server daemon: listeners, a thread per connection, the shared scenario.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "testing/update-server/control.h"
#include "testing/update-server/options.h"
#include "testing/update-server/scenario.h"
#include "testing/update-server/stream.h"

namespace tvsp::updsrv {

class Server final : public ControlHost {
public:
    explicit Server(Options options);
    ~Server() override;
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens, announces the ports and serves until SIGTERM, SIGINT, SIGHUP or "quit". Returns the
    // process exit code.
    int Run();

    // "X:\dir\f" (either slash) resolves through the prefix's dosdevices; other paths are unchanged.
    std::string HostPath(std::string_view path) const override;
    void RequestQuit() override;

private:
    enum class Kind { Http, Https, WrongHttps, Control };
    struct Listener {
        Kind kind;
        int fd = -1;
        int port = 0;
    };

    bool Listen(Kind kind, int port, std::string* error);
    bool WriteReadyFile(std::string* error);
    void Accept(const Listener& listener);
    void ServeHttp(int fd, SSL_CTX* context);
    void ServeControl(int fd);
    bool Execute(Stream& stream, const ReplyPlan& plan);
    bool SendFile(Stream& stream, const Step& step);
    // Waits ms, or less when the server is stopping; false then.
    bool Pause(std::int64_t ms);
    void Release(int fd);
    // Joins the threads that have released their connection (main thread only).
    void JoinFinished();
    // False when some connection thread did not end in time.
    bool StopConnections();
    int PortOf(Kind kind) const;

    Options options_;
    TlsContext tls_;
    TlsContext wrongTls_;
    std::vector<Listener> listeners_;
    bool readyFileWritten_ = false;

    std::mutex scenarioMutex_;
    Scenario scenario_;

    // Connections in progress: their sockets are shut down when the server stops.
    std::mutex connectionsMutex_;
    std::condition_variable connectionsChanged_;
    std::set<int> connections_;
    std::vector<std::thread::id> finished_;  // released, not joined yet
    std::vector<std::thread> threads_;       // the main thread's alone
    std::atomic<bool> stopping_{false};
};

}  // namespace tvsp::updsrv
