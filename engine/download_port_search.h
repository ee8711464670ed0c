// Recognises the watch's download port among successive serial-port enumerations.
#pragma once

#include <array>

namespace TVSP {

inline constexpr unsigned short kPortListSize = 255;
// One enumeration: COM numbers from the first entry on, zeros after the last.
using PortList = std::array<unsigned short, kPortListSize>;

// Enumeration results the search knows: 0 the list is valid, 2 there is no port at all.
inline constexpr int kEnumerationOk = 0;
inline constexpr int kEnumerationNoPort = 2;

// Compares each enumeration with the one before. The port the rebooted watch comes back on is
// either lower than the port that held its place in the list, or at a place that was empty.
class DownloadPortSearch {
public:
    // The enumeration taken before the watch went away; false when it failed (any result other
    // than 0 or 2; 2 leaves the snapshot empty).
    [[nodiscard]] bool TakeSnapshot(int result, const PortList& ports);
    // A later enumeration: the download port, or 0 when this pass did not find it.
    [[nodiscard]] unsigned short Pass(int result, const PortList& ports);

    const PortList& Snapshot() const { return snapshot_; }

private:
    PortList snapshot_{};
};

}  // namespace TVSP
