// Where a detected watch is remembered: the engine's view of the tool's data file.
#pragma once

#include <string>

namespace TVSP {

// The data file as detection needs it; the tool hands in its own, tests a recording one.
class IWatchDataFile {
public:
    virtual ~IWatchDataFile() = default;
    // Remembers the watch taken over: model key first, then firmware version.
    virtual void WriteWatch(const std::string& modelKey, const std::string& version) = 0;
    // The firmware version the watch runs after an upgrade.
    virtual void WriteVersion(const std::string& version) = 0;
    // The pending-restore marker: written before the watch's data is at risk, deleted only once
    // it is back on the watch.
    virtual void WriteImei(const std::string& imei) = 0;
    virtual void DeleteImei() = 0;
    // The IMEI remembered for a restore still pending; empty when there is none.
    [[nodiscard]] virtual std::string ReadImei() = 0;
};

}  // namespace TVSP
