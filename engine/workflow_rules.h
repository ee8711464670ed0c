// The upgrade workflow's decisions: the flash plan per model class, which branch a device change
// takes given the workflow's flags, and the texts those branches show.
#pragma once

#include <string>
#include <string_view>

#include "engine/model_catalog.h"

namespace TVSP {

// What the watch is asked to do before the reboot into download mode.
enum class Preparation { None, SaveDataOnWatch, StartFlashWatchdog };

// How the watch is sent into download mode.
enum class DownloadModeEntry { None, Reboot, PowerOff };

// Every choice of one flash, made before it starts.
struct FlashPlan {
    bool usbDiskCopy = false;       // the package is copied onto the watch's disk instead
    bool readinessCheck = false;    // AT^TESTSTART before anything else
    bool echoedTestStart = false;   // the readiness answer must follow the command's echo
    Preparation preparation = Preparation::None;
    bool openRestartPrompt = false;  // the user restarts the watch by hand (legacy firmware)
    DownloadModeEntry entry = DownloadModeEntry::None;
    bool sayRestartingAfter = false;  // "restarting" once the download ended
    // The watch's data is erased by the flash and comes back afterwards: the pending-restore
    // marker is written before the watch leaves normal mode.
    bool marksPendingRestore = false;
};

// guided: the user put the watch into download mode by hand, so nothing is said to it over AT.
FlashPlan PlanFlash(std::string_view modelKey, unsigned modelClass, std::string_view firmwareVersion, bool guided);

// The workflow's flags as a device change reads them.
struct WorkflowFlags {
    bool flashRunning = false;
    bool connected = false;
    bool guidedMode = false;
    bool awaitingDownloadPort = false;
    bool downloadPortFound = false;
    bool expectRemoval = false;
};

// Arrival of the watch's serial function (download port or normal port).
enum class SerialArrival {
    DownloadPortForGuide,  // the guided wait ends: the guide closes, writing starts
    StartGuidedFlash,      // guided mode: start the flash thread for the port that came
    Rejoin,                // the rejoin flags, then detection when idle
};
SerialArrival DecideSerialArrival(const WorkflowFlags& flags);

// Removal of the serial function (or of the watch's disk).
enum class SerialRemoval {
    DownloadBroken,    // the download port vanished while writing: a failure, once
    Expected,          // the watch restarts by itself: only "connected" goes
    WatchGone,         // an idle watch was unplugged
    Nothing,
};
SerialRemoval DecideSerialRemoval(const WorkflowFlags& flags);

// Failure line when the download port vanished while writing.
const wchar_t* RemovalDuringDownloadText(unsigned modelClass);

}  // namespace TVSP
