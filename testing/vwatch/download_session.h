// The watch in download mode: handshake, then the agent's frames, with the download faults.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "testing/vwatch/download_protocol.h"

namespace tvsp::vwatch {

// Faults of the download mode; the one-shot ones (vanish-at, corrupt-block) disarm once used.
struct DownloadFaults {
    bool neverReturns = false;     // a reboot drops the port and no download port ever comes
    bool refuseHandshake = false;  // every handshake byte is answered with itself
    int vanishAtPercent = -1;      // 0..100: gone once that share of the current region arrived
    int corruptBlock = 0;          // K >= 1: the K-th DATA frame of a session is answered status 1

    bool any() const { return neverReturns || refuseHandshake || vanishAtPercent >= 0 || corruptBlock > 0; }
};

struct DownloadOutput {
    std::string send;                         // answers, in order
    bool vanished = false;                    // the port went away; nothing after it was read
    std::optional<std::uint32_t> watchdogMs;  // WATCHDOG taken: restart into normal mode after this
};

class DownloadSession {
public:
    enum class Stage {
        Handshake,   // boot ROM waiting for A0 0A 50 05
        AwaitAgent,  // handshake done, SEND_DA expected
        Agent,       // agent running: regions, then WATCHDOG or DISCONNECT
        Restarting,  // WATCHDOG taken; nothing more is read
        Gone,        // vanished
    };

    // The store and the faults belong to the watch and outlive a session.
    DownloadOutput Receive(std::string_view bytes, dl::RegionStore& store, DownloadFaults& faults);

    Stage stage() const { return stage_; }
    int dataFrames() const { return dataFrames_; }
    std::size_t discarded() const { return parser_.discarded(); }

private:
    DownloadOutput ReceiveBytes(std::string_view bytes);
    void HandleFrame(const dl::ParsedFrame& frame, DownloadOutput& out);
    dl::Status Dispatch(const dl::ParsedFrame& frame, DownloadOutput& out, bool* answer);

    dl::RegionStore* store_ = nullptr;
    DownloadFaults* faults_ = nullptr;
    dl::Handshake handshake_;
    dl::FrameParser parser_;
    Stage stage_ = Stage::Handshake;
    int dataFrames_ = 0;
};

}  // namespace tvsp::vwatch
