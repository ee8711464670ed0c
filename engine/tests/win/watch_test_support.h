// Shared set-up of the engine tests: a connection to the virtual watch on its COM port.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "testing/vwatch/client/vwatch_client.h"

namespace tvsp_test {

inline constexpr int kWatchPort = 5;

// Fails the calling test (at the caller's line) when a control command is refused.
#define VWATCH_OK(call) ASSERT_TRUE(call) << "virtual watch refused: " #call

// A connected client with the watch reset to its defaults, plugged in on kWatchPort.
class VirtualWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(watch.Connect()) << "TVSP_VWATCH does not name a running virtual watch";
        VWATCH_OK(watch.Reset());
        VWATCH_OK(watch.Plug(kWatchPort));
        VWATCH_OK(watch.ClearLog());
    }

    // Commands the watch logged, waiting up to timeoutMs for at least `count` of them: a write-only
    // command returns before the watch has read it.
    std::vector<std::string> WaitForCommands(size_t count, DWORD timeoutMs = 3000) {
        const DWORD start = ::GetTickCount();
        for (;;) {
            auto log = watch.ReceivedCommands();
            if (log.size() >= count || ::GetTickCount() - start > timeoutMs) return log;
            ::Sleep(20);
        }
    }

    tvsp::VirtualWatchClient watch;
};

}  // namespace tvsp_test
