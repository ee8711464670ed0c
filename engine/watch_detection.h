// Watch detection: find the watch's port, read its version, match the catalogue, take it over.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

#include "engine/model_class.h"
#include "engine/watch_data_file.h"
#include "engine/watch_window_side.h"

namespace TVSP {

// What detection learned about an attached watch.
struct DetectedWatch {
    int port = 0;
    std::string modelKey;
    std::string fullText;  // version text as the watch reported it
    std::string version;   // firmware version shown and stored
};

// The attached watch as the main window holds it. Written by the detection thread and read by
// the window thread, so every field is guarded.
class WatchRecord {
public:
    struct Snapshot {
        bool connected = false;
        int port = 0;
        std::string modelKey;
        unsigned modelClass = kModelClassServerRestore;
        std::string version;
    };

    explicit WatchRecord(std::string initialModelKey = {}, std::string initialVersion = {});

    Snapshot Get() const;
    bool IsConnected() const { return connected_.load(); }

    // Marks connected, stores port, lower-cased key, class by key and version; returns the
    // previous model key.
    std::string TakeOver(int port, const std::string& modelKey, const std::string& version);
    // The USB-disk model found by its disk: no port; the class stays what it was (the copy does
    // not use it). Returns the previous model key.
    std::string TakeOverDisk(const std::string& modelKey, const std::string& version);
    // The watch now runs this firmware (after an upgrade).
    void SetVersion(const std::string& version);
    // The port the watch answers on now (guided mode finds it anew).
    void SetPort(int port);
    // A model picked by hand: stores the key; the class changes only for keys the guide offers.
    void SelectModel(const std::string& modelKey);
    // The watch is gone: not connected, no port, no model.
    void Disconnect();
    // The connection is lost but the watch stays attached (a failed flash): only the connected
    // flag goes, so the same watch found again is known by its key, class and port.
    void MarkNotConnected();

private:
    mutable std::mutex mutex_;
    std::atomic<bool> connected_{false};
    int port_ = 0;
    std::string modelKey_;
    unsigned modelClass_ = kModelClassServerRestore;
    std::string version_;
};

// Port enumeration, AT+CGMR, catalogue match. nullopt (silently) on every failure.
[[nodiscard]] std::optional<DetectedWatch> IdentifyAttachedWatch();

// Takes over an identified watch in the fixed order: guide closed, record filled, version shown,
// model change handled, model and version written to the data file, pending restore checked with
// the data file's IMEI.
void OnWatchDetected(WatchRecord& record, IWatchWindowSide& window, IWatchDataFile& dataFile,
                     const DetectedWatch& watch);

// The detection thread's whole job; true when a watch was taken over.
[[nodiscard]] bool DetectWatch(WatchRecord& record, IWatchWindowSide& window, IWatchDataFile& dataFile);

}  // namespace TVSP
