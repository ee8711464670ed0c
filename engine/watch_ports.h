// Serial-port enumeration through the download library: the watch's ports, or every port.
#pragma once

#include "engine/brom_library.h"
#include "engine/download_port_search.h"

namespace TVSP {

// Hardware id of the watch's serial function, as the filtered enumeration matches it.
inline constexpr const char* kWatchHardwareIdFilter = "VID_0E8D&PID_0003";

// One enumeration as the library answered it.
struct PortEnumeration {
    int result = kBromUnavailable;  // kEnumerationOk: the list is valid; kEnumerationNoPort: none
    PortList ports{};               // COM numbers from the first entry on, zeros after the last
    unsigned short count = 0;       // as the library left it (the capacity when it did not answer)

    // The first port listed, or 0; whatever the result.
    unsigned short First() const { return count != 0 ? ports[0] : 0; }
};

// Serial ports whose hardware id has kWatchHardwareIdFilter.
[[nodiscard]] PortEnumeration EnumerateWatchPorts(IDownloadLibrary& library = DownloadLibrary());
// Every serial port present.
[[nodiscard]] PortEnumeration EnumerateAllPorts(IDownloadLibrary& library = DownloadLibrary());

// First port of the watch's enumeration; 0 when there is none (or the library is missing).
[[nodiscard]] int FindWatchPort();

}  // namespace TVSP
