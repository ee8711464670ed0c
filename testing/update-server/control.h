// The update server's control channel: one request line in; one reply line out ("requests" adds lines).
#pragma once

#include <string>
#include <string_view>

#include "testing/update-server/scenario.h"

namespace tvsp::updsrv {

// What the daemon provides to the control requests.
class ControlHost {
public:
    virtual ~ControlHost() = default;
    // A file named by a test (perhaps a Windows path such as C:\pkg.cab) as a path on this machine.
    virtual std::string HostPath(std::string_view path) const { return std::string(path); }
    virtual void RequestQuit() = 0;
};

// Carries out one request (without its line end). Returns "OK", "OK data" or "ERR reason"; the
// reply to "requests" is "OK N" followed by N lines, joined by line feeds (no final line feed).
std::string HandleControlLine(std::string_view line, Scenario& scenario, ControlHost& host);

}  // namespace tvsp::updsrv
