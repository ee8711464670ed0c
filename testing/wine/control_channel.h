// A line-based TCP control channel to a native fixture (virtual watch, update server), for
// Windows test programs: one request line, reply lines back, every wait bounded.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tvsp {

class ControlChannel {
public:
    // replyTimeoutMs bounds each send and receive, so a broken fixture never hangs a test.
    explicit ControlChannel(unsigned long replyTimeoutMs);
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // Connects to "A.B.C.D:PORT".
    bool Connect(std::string_view address);
    // Connects to the address held by an environment variable.
    bool ConnectFromEnvironment(const char* variable);
    bool connected() const;

    // Sends the line and a line feed; false (and the channel closed) on failure.
    bool SendLine(const std::string& line);
    // The next line without its line end; false (and the channel closed) when none comes.
    bool ReadLine(std::string* line);
    // One request line and the first reply line; "" when the channel failed.
    std::string Command(const std::string& line);
    // Closes the channel: the next request starts afresh.
    void Close();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tvsp
