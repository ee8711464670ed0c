// What the native test daemons share.
#include "testing/daemon/daemon_support.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace tvsp::daemon {

namespace {

int g_signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

bool InstallSignalPipe() {
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_NONBLOCK | O_CLOEXEC) != 0) return false;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    // Waits for child processes carry on; poll() still returns at once.
    sa.sa_flags = SA_RESTART;
    ::sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        if (::sigaction(sig, &sa, nullptr) != 0) return false;
    }
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

int SignalPipeFd() { return g_signalPipe[0]; }

void RequestStop() { OnSignal(0); }

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error) {
    const std::string temp = path + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0 && ::close(fd) != 0) ok = false;
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        if (error) *error = "writing " + path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
    }
    return ok;
}

bool ParseNumber(const std::string& text, int min, int max, int* out) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return false;
    if (value < min || value > max) return false;
    *out = value;
    return true;
}

std::string HostPath(std::string_view prefix, std::string_view path) {
    const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                       (path[2] == '\\' || path[2] == '/');
    if (!drive || prefix.empty()) return std::string(path);
    std::string out = std::string(prefix) + "/dosdevices/" +
                      static_cast<char>(std::tolower(static_cast<unsigned char>(path[0]))) + ":";
    for (char c : path.substr(2)) out += c == '\\' ? '/' : c;
    return out;
}

}  // namespace tvsp::daemon
