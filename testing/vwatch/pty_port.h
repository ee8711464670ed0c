// A pseudo-terminal that stands in for the watch's USB serial port.
#pragma once

#include <memory>
#include <string>

namespace tvsp::vwatch {

// The master side is the watch; the slave path is what the prefix's comN link points at. A slave
// descriptor stays open here so the master never sees a hang-up when Wine closes the port.
class PtyPort {
public:
    static std::unique_ptr<PtyPort> Open(std::string* error);
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    int masterFd() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

private:
    PtyPort() = default;
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace tvsp::vwatch
