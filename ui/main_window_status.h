// What the main window's status refresh shows: texts and visibility of its controls, decided from
// the display state, the watch and the latest firmware, without touching a window.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace TVSP {

enum class DisplayState : int { Disconnected = 0, Ready = 1, Failed = 2 };

// The newest firmware the update server named for the model.
struct LatestFirmware {
    std::string version;           // dotted version; empty while unknown
    std::int64_t releaseTime = 0;  // seconds since 1970 (UTC); 0 = none
    std::wstring note1;            // release-note lines
    std::wstring note2;
};

struct StatusInputs {
    DisplayState state = DisplayState::Disconnected;
    bool connected = false;
    std::string watchVersion;  // empty while unknown
    std::string modelKey;
    LatestFirmware latest;
    bool awaitSelfUpgrade = false;  // the watch finishes the upgrade by itself
    bool failureMayGoBack = false;
};

// One control's change; an unset member leaves that property alone.
struct ControlChange {
    std::optional<bool> visible;
    std::optional<std::wstring> text;
};

struct StatusView {
    std::map<std::string, ControlChange> controls;  // by control name
    bool clearFlashRunning = false;                 // the failure page ends a flash
};

// Release time as the UTC date "%Y年%m月%d日"; empty for 0.
std::wstring FormatReleaseDate(std::int64_t secondsSince1970);

// Everything one status refresh sets, in the window's fixed rules.
StatusView ComputeStatusView(const StatusInputs& inputs);

}  // namespace TVSP
