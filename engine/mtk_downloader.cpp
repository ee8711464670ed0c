// TVSP_MTKDownloader: port enumeration through the download library.
#include "engine/mtk_downloader.h"

#include "engine/brom_library.h"

namespace TVSP {

TVSP_MTKDownloader::TVSP_MTKDownloader() : hardwareIdFilter_(kWatchHardwareIdFilter) {}

int TVSP_MTKDownloader::EnumerateWatchPorts(unsigned short* ports, unsigned short* count) {
    auto enumerate = BromLibrary::Instance().Bind<PFN_ComPortEnumerateWithFilterHardwareID>(
        kBromComPortEnumerateWithFilterHardwareID);
    if (!enumerate) return lastResult_ = kBromUnavailable;
    const char* ids[1] = {hardwareIdFilter_.c_str()};
    COM_PORT_FILTER filter{1, ids};
    return lastResult_ = enumerate(ports, count, &filter);
}

int TVSP_MTKDownloader::EnumerateAllPorts(unsigned short* ports, unsigned short* count) {
    auto enumerate = BromLibrary::Instance().Bind<PFN_ComPortEnumerate>(kBromComPortEnumerate);
    if (!enumerate) return lastResult_ = kBromUnavailable;
    return lastResult_ = enumerate(ports, count);
}

}  // namespace TVSP
