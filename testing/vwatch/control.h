// The virtual watch's control channel: one text request line in, one reply line out.
#pragma once

#include <string>
#include <string_view>

#include "testing/vwatch/watch_model.h"

namespace tvsp::vwatch {

// The daemon side of plugging: the pty, its COM link and the setup-API device.
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
    // A folder named by a test (perhaps a Windows path such as C:\out) as a path on this machine.
    virtual std::string HostPath(std::string_view path) const { return std::string(path); }
};

inline constexpr int kMinCom = 1;
inline constexpr int kMaxCom = 255;

// Carries out one request (without its line end) and returns the reply line (without its line
// end): "OK" or "OK data" on success, "ERR reason" otherwise. The model's attached state follows
// the port's.
std::string HandleControlLine(std::string_view line, WatchModel& model, PortControl& port);

}  // namespace tvsp::vwatch
