// The virtual watch daemon: one poll() loop over the pty master, the control sockets and signals.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testing/vwatch/control.h"
#include "testing/vwatch/options.h"
#include "testing/vwatch/pty_port.h"
#include "testing/vwatch/usb_disk.h"
#include "testing/vwatch/watch_model.h"
#include "testing/wine/prefix_rig.h"

namespace tvsp::vwatch {

class Daemon final : public PortControl {
public:
    explicit Daemon(Options options);
    ~Daemon() override;
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    // Listens, plugs in (unless told not to), announces the control port and serves until SIGTERM,
    // SIGINT, SIGHUP or "quit"; then unplugs. Returns the process exit code.
    int Run();

    // A plug or unplug from the control channel also calls off a pending download-port arrival,
    // watchdog restart or rejoin.
    bool Plug(int com, std::string* error) override;
    bool Unplug(std::string* error) override;
    bool plugged() const override { return port_ != nullptr; }
    int com() const override { return com_; }
    void SelectCom(int com) override { com_ = com; }
    void RequestQuit() override { quit_ = true; }
    // "X:\dir" (either slash) resolves through the prefix's dosdevices; other paths are unchanged.
    std::string HostPath(std::string_view path) const override;
    bool PlugDisk(char letter, std::uint64_t sizeBytes, std::string* error) override;
    bool UnplugDisk(std::string* error) override;
    bool FillDisk(std::uint64_t bytes, std::string* error) override { return disk_.Fill(bytes, error); }
    DiskState disk() const override { return disk_.state(); }

private:
    struct Client {
        int fd = -1;
        std::string in;
        std::string out;
        bool closed = false;
    };
    struct Pending {
        std::int64_t dueMs = 0;
        std::string bytes;
    };
    enum class PortKind { Normal, Download };
    // A port change the watch makes by itself, later.
    struct Scheduled {
        enum class What {
            DownloadArrives,
            RestartNormal,
            RejoinLeaves,   // after the restart: the normal port goes once more
            RejoinReturns,  // and comes back on the same number
        };
        What what = What::DownloadArrives;
        std::int64_t dueMs = 0;
        int returnAfterMs = 0;  // RejoinLeaves: from leaving to returning
    };

    bool PlugPort(int com, PortKind kind, std::string* error);
    bool UnplugPort(std::string* error);
    void RunScheduled();

    bool Listen(std::string* error);
    bool WriteReadyFile(std::string* error);
    void Serve();
    int PollTimeoutMs() const;
    void ReadPort();
    void ReleaseDueWrites();
    void FlushPort();
    void AcceptClients();
    void ReadClient(Client& client);
    void FlushClient(Client& client);
    void FlushClientsBeforeExit();
    std::int64_t NowMs() const;

    Options options_;
    rig::PrefixRig rig_;
    UsbDisk disk_{rig_};
    WatchModel model_;
    int com_;                       // the normal port's number
    std::unique_ptr<PtyPort> port_;
    PortKind portKind_ = PortKind::Normal;
    int portCom_ = 0;               // the number the port in place is on
    std::string serial_;
    std::optional<Scheduled> scheduled_;
    std::deque<Pending> pending_;   // replies waiting for their delay, in due order
    std::string portOut_;           // bytes due but not yet taken by the pty
    int listenFd_ = -1;
    int controlPort_ = 0;
    std::vector<Client> clients_;
    bool quit_ = false;
    bool readyFileWritten_ = false;
    std::int64_t startNs_ = 0;
};

}  // namespace tvsp::vwatch
