// Download-port search over successive enumerations.
#include "engine/download_port_search.h"

#include <algorithm>

namespace TVSP {
namespace {

bool IsEmpty(const PortList& ports) {
    return std::all_of(ports.begin(), ports.end(), [](unsigned short p) { return p == 0; });
}

}  // namespace

bool DownloadPortSearch::TakeSnapshot(int result, const PortList& ports) {
    snapshot_ = {};
    if (result == kEnumerationNoPort) return true;
    if (result != kEnumerationOk) return false;
    snapshot_ = ports;
    return true;
}

unsigned short DownloadPortSearch::Pass(int result, const PortList& ports) {
    if (result != kEnumerationOk) {
        // No port at all: the watch has gone, so whatever appears next is its download port.
        if (result == kEnumerationNoPort) snapshot_ = {};
        return 0;
    }
    if (ports == snapshot_) return 0;
    if (IsEmpty(snapshot_)) {
        const auto first = std::find_if(ports.begin(), ports.end(), [](unsigned short p) { return p != 0; });
        return first != ports.end() ? *first : 0;
    }
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (ports[i] != 0 && (snapshot_[i] == 0 || ports[i] < snapshot_[i])) return ports[i];
    }
    snapshot_ = ports;
    return 0;
}

}  // namespace TVSP
