// What the main window does with the ROM check's answer: nothing, the failure actions, or the
// model's newest firmware taken over.
#pragma once

#include <optional>
#include <string>

#include "update/update_replies.h"

namespace TVSP {

// One notification of a request, as the window's delegate receives it.
struct UpdateEvent {
    enum Kind : int { Progress = 0, Succeeded = 1, Failed = 2, Cancelled = 3 };
    int tag = 0;
    int kind = Progress;
    int status = 0;
    int received = 0;
    int total = 0;
    std::string body;
};

struct RomCheckOutcome {
    // The model's entry to copy into the newest-firmware fields (before judging), if the reply had one.
    std::optional<RomCheckEntry> entry;
    // The failure actions: "updates.ini" deleted, the failure panel with "retry".
    bool fail = false;
    // Display state to set and refresh: Ready when connected, else Disconnected.
    bool show = false;
};

// For a ROM check event: a failure fails; an answer is looked up for modelKey and fails when the
// newest version is then still empty (knownVersion: the one known before); progress and
// cancelling change nothing.
[[nodiscard]] RomCheckOutcome DecideRomCheck(const UpdateEvent& event, const std::string& modelKey,
                                             const std::string& knownVersion);

}  // namespace TVSP
