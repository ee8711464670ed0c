// A pseudo-terminal that stands in for the watch's USB serial port.
#include "testing/vwatch/pty_port.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tvsp::vwatch {

namespace {

std::string Failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Wine children of the rig must not inherit the port.
bool SetCloseOnExec(int fd) { return ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0; }

}  // namespace

std::unique_ptr<PtyPort> PtyPort::Open(std::string* error) {
    std::unique_ptr<PtyPort> port(new PtyPort);
    port->master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (port->master_ < 0) {
        if (error) *error = Failure("posix_openpt");
        return nullptr;
    }
    if (!SetCloseOnExec(port->master_) || ::grantpt(port->master_) != 0 || ::unlockpt(port->master_) != 0) {
        if (error) *error = Failure("preparing the pty");
        return nullptr;
    }
    const int flags = ::fcntl(port->master_, F_GETFL);
    if (flags < 0 || ::fcntl(port->master_, F_SETFL, flags | O_NONBLOCK) != 0) {
        if (error) *error = Failure("non-blocking pty");
        return nullptr;
    }
    char name[128] = {};
    if (::ptsname_r(port->master_, name, sizeof name) != 0) {
        if (error) *error = Failure("ptsname_r");
        return nullptr;
    }
    port->slavePath_ = name;
    port->slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (port->slave_ < 0) {
        if (error) *error = Failure("opening the pty slave");
        return nullptr;
    }
    // Bytes pass unchanged both ways: no echo, no line editing, no CR/LF translation.
    termios tio{};
    if (::tcgetattr(port->slave_, &tio) != 0) {
        if (error) *error = Failure("tcgetattr");
        return nullptr;
    }
    ::cfmakeraw(&tio);
    if (::tcsetattr(port->slave_, TCSANOW, &tio) != 0) {
        if (error) *error = Failure("tcsetattr");
        return nullptr;
    }
    return port;
}

PtyPort::~PtyPort() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

}  // namespace tvsp::vwatch
