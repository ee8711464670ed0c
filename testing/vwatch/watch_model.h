// The virtual watch's behaviour on its serial port: commands in, echo and replies out, faults.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "testing/vwatch/download_protocol.h"
#include "testing/vwatch/download_session.h"

namespace tvsp::vwatch {

// What the watch is doing. Each mode has its own byte handler in WatchModel::Receive; the USB-disk
// model is a further mode of this machine.
enum class Mode {
    Normal,    // answering AT commands on its serial port
    Detached,  // no port: unplugged, or gone after a reboot or power-off
    Download,  // on its download port, speaking the download protocol
};

// What the watch does after AT+CFUN=1,1 or AT^PWROFF.
enum class OnReboot {
    Stay,     // keeps its port and goes on answering (a watch that ignores the request)
    Unplug,   // drops its port, like a real reboot, and comes back on its download port
    // As Unplug the first time, then as Stay: the tool's later restarts of a flashed watch (after
    // its data was restored) are plain restarts, not a second way into download mode.
    UnplugOnce,
};

// What the watch does once back in normal mode after the watchdog restart. Some models, having
// restarted, leave the USB once more to install the new firmware themselves and come back alone.
struct AfterRestart {
    bool rejoin = false;    // false: stays on its port
    int unplugAfterMs = 0;  // rejoin: from the restart to dropping the normal port
    int plugAfterMs = 0;    // rejoin: from dropping it to its return (same COM, normal mode)
    bool operator==(const AfterRestart&) const = default;
};

inline constexpr int kMaxAfterRestartMs = 600000;

// "stay" or "rejoin MS1 MS2" (single spaces, each 0..kMaxAfterRestartMs); nullopt otherwise.
std::optional<AfterRestart> ParseAfterRestart(std::string_view text);
// "stay" or "rejoin:MS1:MS2": one word, as status values are.
std::string FormatAfterRestart(const AfterRestart& after);

struct WatchSettings {
    std::string version = "WK7_GSM1.2.3_BLE4_U_V5";
    std::string imei = "861234567890123";
    bool echo = true;
    OnReboot onReboot = OnReboot::Stay;
    int downloadCom = 0;          // COM number of the download port; 0: the normal port's number
    int downloadDelayMs = 1500;   // from dropping the normal port to the download port's arrival
    std::string newVersion;       // version after the watchdog restart; empty: unchanged
    AfterRestart afterRestart;
};

// The commands the watch knows; everything else is Unknown and answered "ERROR".
enum class AtCommandKind {
    Ping,                // AT
    ReadVersion,         // AT+CGMR
    ReadImei,            // AT+EGMR=0,7
    TestStart,           // AT^TESTSTART
    SaveData,            // AT+ESDS=0
    RestoreData,         // AT+ESDS=1
    StartFlashWatchdog,  // AT^STARTFLASHROM
    Reboot,              // AT+CFUN=1,1
    PowerOff,            // AT^PWROFF
    RestoreDataA,        // AT^RSDTA=<data>
    RestoreDataB,        // AT^RSDTB=<data>
    Unknown,
};

// Command names are matched without regard to case, as modems do; restore data is kept as sent.
AtCommandKind ClassifyCommand(std::string_view text, std::string* restoreData = nullptr);

// The complete answer of a healthy watch (no echo); empty for commands it does not answer.
std::string NormalReply(AtCommandKind kind, const WatchSettings& settings);
// The answer cut short in the way that fools a careless reader (see docs/virtual-watch.md).
std::string PartialReply(AtCommandKind kind, const WatchSettings& settings);
// A plausible but wrong answer: what a watch says to a command it does not take.
inline constexpr std::string_view kWrongReply = "\r\nERROR\r\n";

enum class FaultKind { None, Silent, Wrong, Partial, FailFirst, Raw };

struct Fault {
    FaultKind kind = FaultKind::None;
    int remaining = 0;                     // FailFirst: failures still to come
    FaultKind failAs = FaultKind::Silent;  // FailFirst: Silent or Wrong
    std::string raw;                       // Raw: the exact reply bytes
};

// Bytes for the port, due delayMs after the command that caused them arrived.
struct Transmission {
    std::string bytes;
    int delayMs = 0;
};

struct Reaction {
    std::vector<Transmission> writes;  // in order
    bool dropPort = false;             // the watch has left its port (reboot, power-off, vanished)
    // With dropPort: the download port arrives after this many milliseconds (absent: it does not).
    std::optional<int> downloadAfterMs;
    // WATCHDOG taken: after this many milliseconds the download port goes and the normal one comes.
    std::optional<std::uint32_t> restartAfterMs;
};

struct ReceivedCommand {
    std::int64_t atMs = 0;  // arrival, milliseconds on the caller's clock
    std::string text;       // without its line end
};

struct RestoreWrite {
    char part = 'A';  // 'A' or 'B'
    std::string data;
};

class WatchModel {
public:
    explicit WatchModel(WatchSettings initial = {});

    // Bytes read from the port at nowMs; returns what goes back and whether the port goes away.
    Reaction Receive(std::string_view bytes, std::int64_t nowMs);

    // The port appeared (normal mode, fresh line) or went away.
    void Attached();
    void Detached();
    // The download port appeared: a new session starts at the handshake.
    void AttachedDownload();
    // Back from the watchdog restart: the new version (if one is set), then normal mode. Returns
    // the rejoin to carry out when the watch is set to rejoin (the settings of this moment).
    std::optional<AfterRestart> RestartedNormal();
    // Back on its normal port by itself after a rejoin: normal mode, counted.
    void Rejoined();
    Mode mode() const { return mode_; }

    WatchSettings& settings() { return settings_; }
    const WatchSettings& settings() const { return settings_; }

    // Keys are a command's full text (AT+ESDS=1), its name (AT+ESDS, every parameter) or "*"
    // (every command); the most specific key wins. Case does not matter.
    void SetDelay(std::string_view key, int ms);  // 0 removes
    void SetFault(std::string_view key, Fault fault);  // FaultKind::None removes
    // The next `count` AT^RSDTA (part 'A') or AT^RSDTB (part 'B') writes are refused.
    void ArmRestoreErrors(char part, int count);
    void ClearFaults();  // faults, restore errors and delays

    const std::vector<ReceivedCommand>& log() const { return log_; }
    void ClearLog() { log_.clear(); }

    // Sink: every byte read is counted and dropped, in any mode (raw throughput of the port).
    // Turning it on starts the count at 0.
    void SetSink(bool on) {
        sink_ = on;
        if (on) sunkBytes_ = 0;
    }
    std::uint64_t sunkBytes() const { return sunkBytes_; }

    // What the watch holds now (the last accepted write of each part) and every accepted write.
    const std::string& restoreA() const { return restoreA_; }
    const std::string& restoreB() const { return restoreB_; }
    const std::vector<RestoreWrite>& restoreWrites() const { return restoreWrites_; }
    void ClearRestoreData();

    int reboots() const { return reboots_; }
    int rejoins() const { return rejoins_; }

    // Download mode: what was written, the faults, the running session.
    const std::vector<dl::Region>& regions() const { return regions_.regions(); }
    void ClearRegions() { regions_.Clear(); }
    DownloadFaults& downloadFaults() { return downloadFaults_; }
    const DownloadSession& session() const { return session_; }

    // Back to the initial settings without faults, delays, log or restore data; the mode (whether
    // a port is there) is the daemon's business and stays.
    void Reset();

    // Longest command line kept; a longer one is answered "ERROR" as a whole.
    static constexpr std::size_t kMaxLine = 1 << 20;

private:
    Reaction ReceiveNormal(std::string_view bytes, std::int64_t nowMs);
    Reaction ReceiveDownload(std::string_view bytes);
    void HandleCommand(std::string text, std::string_view lineEnd, std::int64_t nowMs, Reaction& out);
    std::string AnswerRestoreData(AtCommandKind kind, std::string data);
    void ResetLine();

    WatchSettings initial_;
    WatchSettings settings_;
    Mode mode_ = Mode::Detached;
    bool sink_ = false;
    std::uint64_t sunkBytes_ = 0;

    std::map<std::string, Fault, std::less<>> faults_;
    std::map<std::string, int, std::less<>> delays_;
    int restoreErrorsA_ = 0;
    int restoreErrorsB_ = 0;

    std::vector<ReceivedCommand> log_;
    std::string restoreA_;
    std::string restoreB_;
    std::vector<RestoreWrite> restoreWrites_;
    int reboots_ = 0;
    int rejoins_ = 0;

    dl::RegionStore regions_;
    DownloadFaults downloadFaults_;
    DownloadSession session_;

    // Line assembly in normal mode.
    std::string line_;
    bool overlong_ = false;
    bool lfMayFollowCr_ = false;   // a CR ended the last read: a leading LF belongs to it
    bool lastCommandEchoed_ = false;
};

}  // namespace tvsp::vwatch
