// Watch detection and take-over.
#include "engine/watch_detection.h"

#include <cctype>

#include "engine/at_channel.h"
#include "engine/model_catalog.h"
#include "engine/watch_ports.h"

namespace TVSP {

WatchRecord::WatchRecord(std::string initialModelKey, std::string initialVersion)
    : modelKey_(std::move(initialModelKey)),
      modelClass_(ModelClassForKey(modelKey_)),
      version_(std::move(initialVersion)) {}

WatchRecord::Snapshot WatchRecord::Get() const {
    std::lock_guard lock(mutex_);
    return Snapshot{connected_.load(), port_, modelKey_, modelClass_, version_};
}

std::string WatchRecord::TakeOver(int port, const std::string& modelKey, const std::string& version) {
    std::string lowered = modelKey;
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::lock_guard lock(mutex_);
    connected_ = true;
    port_ = port;
    std::string previous = std::move(modelKey_);
    modelKey_ = std::move(lowered);
    modelClass_ = ModelClassForKey(modelKey_);
    version_ = version;
    return previous;
}

std::string WatchRecord::TakeOverDisk(const std::string& modelKey, const std::string& version) {
    std::lock_guard lock(mutex_);
    connected_ = true;
    port_ = 0;
    std::string previous = std::move(modelKey_);
    modelKey_ = modelKey;
    version_ = version;
    return previous;
}

void WatchRecord::SetVersion(const std::string& version) {
    std::lock_guard lock(mutex_);
    version_ = version;
}

void WatchRecord::SetPort(int port) {
    std::lock_guard lock(mutex_);
    port_ = port;
}

void WatchRecord::SelectModel(const std::string& modelKey) {
    std::lock_guard lock(mutex_);
    modelKey_ = modelKey;
    if (const auto modelClass = ModelClassForSelectedKey(modelKey)) modelClass_ = *modelClass;
}

void WatchRecord::Disconnect() {
    std::lock_guard lock(mutex_);
    connected_ = false;
    port_ = 0;
    modelKey_.clear();
}

void WatchRecord::MarkNotConnected() {
    std::lock_guard lock(mutex_);
    connected_ = false;
}

std::optional<DetectedWatch> IdentifyAttachedWatch() {
    const PortEnumeration ports = EnumerateWatchPorts();
    if (ports.result != kEnumerationOk || ports.count == 0) return std::nullopt;

    DetectedWatch watch;
    watch.port = ports.ports[0];
    watch.fullText = ReadFirmwareVersion(watch.port);
    if (watch.fullText.empty()) return std::nullopt;

    const auto match = MatchWatchModel(watch.fullText);
    if (!match) return std::nullopt;
    watch.modelKey = match->modelKey;
    watch.version = match->version;
    return watch;
}

void OnWatchDetected(WatchRecord& record, IWatchWindowSide& window, IWatchDataFile& dataFile,
                     const DetectedWatch& watch) {
    window.CloseConnectionGuideIfOpen();
    const std::string previousKey = record.TakeOver(watch.port, watch.modelKey, watch.version);
    const WatchRecord::Snapshot now = record.Get();
    window.ShowFirmwareVersion(now.version);
    if (now.modelKey != previousKey) {
        window.OnModelChanged();
        window.ShowBatteryHint(BatteryHintForModel(now.modelKey));
    } else {
        window.OnSameModelAttached();
    }
    dataFile.WriteWatch(now.modelKey, now.version);
    window.CheckPendingRestore(dataFile.ReadImei());
}

bool DetectWatch(WatchRecord& record, IWatchWindowSide& window, IWatchDataFile& dataFile) {
    const auto watch = IdentifyAttachedWatch();
    if (!watch) return false;
    OnWatchDetected(record, window, dataFile, *watch);
    return true;
}

}  // namespace TVSP
