// The virtual watch's control channel: one text request line in, one reply line out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "testing/vwatch/watch_model.h"

namespace tvsp::vwatch {

// The watch's USB disk as the host has it.
struct DiskState {
    bool plugged = false;
    char letter = 0;  // 'A'..'Z' while plugged
    std::uint64_t sizeBytes = 0;
};

// The daemon side of plugging: the pty, its COM link and the setup-API device; and the USB disk.
class PortControl {
public:
    virtual ~PortControl() = default;
    // Plugs in on COM `com`, unplugging first when plugged on another number.
    virtual bool Plug(int com, std::string* error) = 0;
    virtual bool Unplug(std::string* error) = 0;
    virtual bool plugged() const = 0;
    // The number in use, or the one the next plain "plug" takes.
    virtual int com() const = 0;
    virtual void SelectCom(int com) = 0;
    virtual void RequestQuit() = 0;
    // The USB-disk model, beside the serial port: a tmpfs of sizeBytes mapped into the prefix as
    // removable drive `letter` (upper case). Plugging while plugged replaces the disk.
    virtual bool PlugDisk(char letter, std::uint64_t sizeBytes, std::string* error) = 0;
    virtual bool UnplugDisk(std::string* error) = 0;  // success when no disk is plugged
    // Adds `bytes` of filler to the plugged disk, so its free space shrinks by as much.
    virtual bool FillDisk(std::uint64_t bytes, std::string* error) = 0;
    virtual DiskState disk() const = 0;
    // A folder named by a test (perhaps a Windows path such as C:\out) as a path on this machine.
    virtual std::string HostPath(std::string_view path) const { return std::string(path); }
};

inline constexpr int kMinCom = 1;
inline constexpr int kMaxCom = 255;
// A tmpfs size is a limit, not an allocation; the bound only catches typing errors.
inline constexpr std::uint64_t kMaxDiskBytes = std::uint64_t{1} << 40;

// Carries out one request (without its line end) and returns the reply line (without its line
// end): "OK" or "OK data" on success, "ERR reason" otherwise. The model's attached state follows
// the port's.
std::string HandleControlLine(std::string_view line, WatchModel& model, PortControl& port);

}  // namespace tvsp::vwatch
