// Benchmark: how long each AT operation takes against an answering and a silent virtual watch.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "engine/at_channel.h"
#include "engine/watch_ports.h"
#include "testing/vwatch/client/vwatch_client.h"

using namespace TVSP;

namespace {

constexpr int kPort = 5;
constexpr int kRounds = 3;

struct Operation {
    const char* name;
    const char* command;
    std::function<void(int)> run;
};

// Timed only: no result is judged here.
const Operation kOperations[] = {
    {"ReadFirmwareVersion", "AT+CGMR", [](int p) { static_cast<void>(ReadFirmwareVersion(p)); }},
    {"ReadImei", "AT+EGMR=0,7", [](int p) { static_cast<void>(ReadImei(p)); }},
    {"TestStart", "AT^TESTSTART", [](int p) { static_cast<void>(TestStart(p)); }},
    {"TestStartEchoed", "AT^TESTSTART", [](int p) { static_cast<void>(TestStartEchoed(p)); }},
    {"Ping", "AT", [](int p) { static_cast<void>(Ping(p)); }},
    {"SaveDataOnWatch", "AT+ESDS=0", [](int p) { static_cast<void>(SaveDataOnWatch(p)); }},
    {"RestoreDataOnWatch", "AT+ESDS=1", [](int p) { static_cast<void>(RestoreDataOnWatch(p)); }},
    {"StartFlashWatchdog", "AT^STARTFLASHROM", [](int p) { static_cast<void>(StartFlashWatchdog(p)); }},
    {"RebootWatch", "AT+CFUN=1,1", [](int p) { RebootWatch(p); }},
    {"PowerOffWatch", "AT^PWROFF", [](int p) { PowerOffWatch(p); }},
    {"FindWatchPort", "", [](int) { static_cast<void>(FindWatchPort()); }},
};

double MillisecondsPerCall(const Operation& op) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i) op.run(kPort);
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / kRounds;
}

}  // namespace

int wmain() {
    tvsp::VirtualWatchClient watch;
    if (!watch.Connect() || !watch.Reset() || !watch.Plug(kPort)) {
        std::fprintf(stderr, "at_channel_bench: no virtual watch (run it through testing/wine/run-test --vwatch)\n");
        return 1;
    }
    std::printf("%-20s %14s %14s   (ms per call, mean of %d)\n", "operation", "answering", "silent", kRounds);
    for (const auto& op : kOperations) {
        watch.Reset();
        watch.Plug(kPort);
        const double answering = MillisecondsPerCall(op);
        if (*op.command) watch.SetFault(op.command, "silent");
        const double silent = MillisecondsPerCall(op);
        std::printf("%-20s %14.1f %14.1f\n", op.name, answering, silent);
    }
    return 0;
}
