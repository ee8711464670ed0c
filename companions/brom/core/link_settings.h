// The download link's settings from brom.ini beside the library: which values are taken.
#pragma once

#include <cstdint>

namespace brom {

// What an absent or unusable brom.ini gives: the speed the download port runs at and how often
// the start handshake is tried before the connect gives up.
inline constexpr std::uint32_t kDefaultBaudRate = 921600;
inline constexpr int kDefaultHandshakeAttempts = 100;
// A handshake try takes up to four byte time-outs; more tries than this would hold a connect for
// longer than anyone waits for a watch to answer.
inline constexpr int kMaxHandshakeAttempts = 1000;

struct LinkSettings {
    std::uint32_t baudRate = kDefaultBaudRate;
    int handshakeAttempts = kDefaultHandshakeAttempts;
};

// Values as read from the file (0 when a key is missing). A value outside what the port and the
// watch accept falls back to its default on its own, so one typo never stops a download.
LinkSettings LinkSettingsFrom(long long baudRate, long long handshakeAttempts);

}  // namespace brom
