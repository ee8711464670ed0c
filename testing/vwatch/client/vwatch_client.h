// Client of the virtual watch's control channel, for Windows test programs running under Wine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tvsp {

class ControlChannel;

// One command the watch received, with its arrival in milliseconds since the daemon started.
struct WatchCommandRecord {
    std::int64_t atMs = 0;
    std::string text;
};

// One region the watch holds from a download: what arrived so far, with its 32-bit byte sum.
struct WatchRegion {
    std::string name;
    std::uint64_t address = 0;
    std::uint64_t length = 0;
    std::uint32_t sum32 = 0;
};

// Scripts the virtual watch (docs/virtual-watch.md): one request line, one reply line.
// Every call returns a result; none throws. Texts are sent escaped, so any bytes are allowed.
class VirtualWatchClient {
public:
    VirtualWatchClient();
    ~VirtualWatchClient();
    VirtualWatchClient(const VirtualWatchClient&) = delete;
    VirtualWatchClient& operator=(const VirtualWatchClient&) = delete;

    // Connects to the address in the environment variable TVSP_VWATCH ("127.0.0.1:PORT").
    bool Connect();
    // Connects to "HOST:PORT" (HOST a dotted IPv4 address).
    bool Connect(std::string_view address);
    bool connected() const;

    // Sends one request line and returns the reply line ("OK ..." or "ERR ..."), or "" when the
    // channel failed (it is then closed).
    std::string Command(const std::string& line);

    bool Plug(int com);
    bool Unplug();
    bool SetVersion(const std::string& version);
    bool SetImei(const std::string& imei);
    bool SetEcho(bool on);
    bool SetRebootUnplugs(bool unplug);
    // The first reboot goes into download mode, later ones keep the port (a flashed watch restarted).
    bool SetRebootUnplugsOnce();
    // cmd: "AT+CGMR", "AT+ESDS" (all parameters) or "*" (every command); 0 ms removes the delay.
    bool SetDelay(const std::string& cmd, int ms);
    // fault: "silent", "wrong", "partial", "fail-first K [silent|wrong]", "none", or "raw " followed
    // by escaped bytes; use SetRawReply for unescaped bytes.
    bool SetFault(const std::string& cmd, const std::string& fault);
    bool SetRawReply(const std::string& cmd, std::string_view replyBytes);
    // The next `count` AT^RSDTA (part 'A') or AT^RSDTB (part 'B') writes answer *_ERROR.
    bool SetRestoreErrors(char part, int count);
    bool ClearFaults();  // faults, restore errors, download faults and delays

    // Download mode. com 0: the download port takes the normal port's number.
    bool SetDownloadCom(int com);
    bool SetDownloadDelay(int ms);
    // Version after the watchdog restart; "" keeps the version.
    bool SetNewVersion(const std::string& version);
    // fault: "never-returns", "refuse-handshake", "vanish-at P", "corrupt-block K" or "none".
    bool SetDownloadFault(const std::string& fault);
    // Once back in normal mode after the watchdog restart: stay (rejoin false), or leave the port
    // unplugAfterMs later and come back on it plugAfterMs after that.
    bool SetAfterRestart(bool rejoin, int unplugAfterMs = 0, int plugAfterMs = 0);
    // How often the watch came back by itself after such a rejoin; -1 on failure.
    int Rejoins();
    // Regions written so far, in the order first written; empty also on failure (see ok).
    std::vector<WatchRegion> Regions(bool* ok = nullptr);
    // Writes each region as <dir>\<name>.bin; dir may be a Windows path (resolved through the
    // prefix's drives) or a path on the Linux side.
    bool DumpRegions(const std::string& dir);
    bool ClearRegions();
    // Sink: the watch counts and drops every byte it reads (on restarts the count at 0).
    bool SetSink(bool on);
    // Bytes dropped since the sink was turned on; -1 on failure.
    long long SunkBytes();
    bool Reset();        // initial settings, no faults, empty log and restore data, no disk

    // The USB disk: a tmpfs of sizeBytes as removable drive letter ('A'..'Y' except 'C'), seen
    // at once by every program of the prefix. Plugging again replaces the disk with an empty one.
    bool PlugDisk(char letter, std::uint64_t sizeBytes);
    bool UnplugDisk();
    // Takes `bytes` more of the disk's free space (a filler file); refused when it does not fit.
    bool FillDisk(std::uint64_t bytes);

    // Received command texts (without line ends), oldest first; empty also on failure.
    std::vector<std::string> ReceivedCommands();
    std::vector<WatchCommandRecord> ReceivedCommandLog();
    bool ClearLog();

    // What the watch holds from AT^RSDTA and AT^RSDTB, joined by one line feed the way the update
    // server's answer carried them; "" when nothing was stored.
    std::string RestoreData();
    bool RestoreDataParts(std::string* partA, std::string* partB);

    std::string Status();

private:
    bool CommandOk(const std::string& line);
    // The data after "OK " of a successful reply; false on "ERR" or a failed channel.
    bool CommandData(const std::string& line, std::string* data);

    std::unique_ptr<ControlChannel> channel_;
};

}  // namespace tvsp
