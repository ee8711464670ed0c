// Serial-port enumeration through the download library.
#include "engine/watch_ports.h"

namespace TVSP {

PortEnumeration EnumerateWatchPorts(IDownloadLibrary& library) {
    const char* ids[1] = {kWatchHardwareIdFilter};
    const COM_PORT_FILTER filter{1, ids};
    PortEnumeration out;
    out.count = kPortListSize;
    out.result = library.ComPortEnumerateWithFilterHardwareID(out.ports.data(), &out.count, &filter);
    return out;
}

PortEnumeration EnumerateAllPorts(IDownloadLibrary& library) {
    PortEnumeration out;
    out.count = kPortListSize;
    out.result = library.ComPortEnumerate(out.ports.data(), &out.count);
    return out;
}

// Only the list is read, the result deliberately not: an enumeration that failed leaves the
// zeroed list behind, so the answer is 0.
int FindWatchPort() { return EnumerateWatchPorts().First(); }

}  // namespace TVSP
