// TVSP_MTKDownloader: one download through brom.dll; for now the port enumeration it offers.
#pragma once

#include <windows.h>

#include <string>

namespace TVSP {

inline constexpr unsigned short kMaxComPorts = 255;
inline constexpr const char* kWatchHardwareIdFilter = "VID_0E8D&PID_0003";

class TVSP_MTKDownloader {
public:
    TVSP_MTKDownloader();
    TVSP_MTKDownloader(const TVSP_MTKDownloader&) = delete;
    TVSP_MTKDownloader& operator=(const TVSP_MTKDownloader&) = delete;
    virtual ~TVSP_MTKDownloader() = default;

    // Serial ports whose hardware id matches the filter: ports receives them, count is in/out
    // (capacity in). Library result: 0 = list valid; kBromUnavailable without the library.
    int EnumerateWatchPorts(unsigned short* ports, unsigned short* count);
    // Every serial port present: 0 = list valid, 2 = no port (treat as empty).
    int EnumerateAllPorts(unsigned short* ports, unsigned short* count);

    const std::string& HardwareIdFilter() const { return hardwareIdFilter_; }

private:
    std::string daFilePath_;
    std::string romSettingPath_;
    std::string hardwareIdFilter_;
    int lastResult_ = 0;
};

}  // namespace TVSP
