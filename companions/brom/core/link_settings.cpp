// The download link's settings from brom.ini: which values are taken.
#include "companions/brom/core/link_settings.h"

#include <algorithm>
#include <iterator>

namespace brom {

namespace {

// The speeds the watch's boot ROM follows after the handshake.
constexpr std::uint32_t kBaudRates[] = {115200, 230400, 460800, 921600};

}  // namespace

LinkSettings LinkSettingsFrom(long long baudRate, long long handshakeAttempts) {
    LinkSettings settings;
    if (std::find(std::begin(kBaudRates), std::end(kBaudRates), baudRate) != std::end(kBaudRates)) {
        settings.baudRate = static_cast<std::uint32_t>(baudRate);
    }
    if (handshakeAttempts >= 1 && handshakeAttempts <= kMaxHandshakeAttempts) {
        settings.handshakeAttempts = static_cast<int>(handshakeAttempts);
    }
    return settings;
}

}  // namespace brom
