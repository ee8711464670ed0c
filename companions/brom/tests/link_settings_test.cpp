// brom.ini's link settings: accepted values taken, anything else falls back per key.
#include <gtest/gtest.h>

#include "companions/brom/core/link_settings.h"

namespace brom {
namespace {

TEST(LinkSettings, EachKeyFallsBackOnItsOwn) {
    struct Row {
        long long baud, attempts;
        std::uint32_t wantBaud;
        int wantAttempts;
    };
    const Row rows[] = {
        {0, 0, kDefaultBaudRate, kDefaultHandshakeAttempts},  // file or keys missing
        {115200, 1, 115200, 1},
        {460800, kMaxHandshakeAttempts, 460800, kMaxHandshakeAttempts},
        {921600, kMaxHandshakeAttempts + 1, 921600, kDefaultHandshakeAttempts},
        {9600, 50, kDefaultBaudRate, 50},        // a speed the boot ROM does not follow
        {115201, -1, kDefaultBaudRate, kDefaultHandshakeAttempts},
        {-921600, 0, kDefaultBaudRate, kDefaultHandshakeAttempts},
        {921600LL + (1LL << 32), 100, kDefaultBaudRate, 100},  // would wrap to a valid speed
    };
    for (const Row& row : rows) {
        const LinkSettings s = LinkSettingsFrom(row.baud, row.attempts);
        EXPECT_EQ(s.baudRate, row.wantBaud) << row.baud << " " << row.attempts;
        EXPECT_EQ(s.handshakeAttempts, row.wantAttempts) << row.baud << " " << row.attempts;
    }
}

}  // namespace
}  // namespace brom
