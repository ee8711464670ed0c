// Fake serial devices in a Wine prefix's device registry (setup API), for the rig tool and tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tvsp::rig {

// The hardware id a watch's serial function reports.
inline constexpr std::wstring_view kWatchHardwareId = L"USB\\VID_0E8D&PID_0003";

// USB\VID_0E8D&PID_0003\<serial>: the instance id every rig-made port gets, whatever its
// hardware id, so that removal needs nothing but the serial.
std::wstring WatchInstanceId(std::wstring_view serial);

// Registers a present Ports-class device with hardware ids "<hardwareId>&REV_0100" and
// "<hardwareId>" and the device value PortName=COM<comNumber>; comNumber 0 leaves PortName out
// (a Ports device that is no COM port). An existing device of the same instance id is removed
// first. On failure *error gets a one-line reason.
bool AddPortDevice(int comNumber, std::wstring_view serial, std::wstring_view hardwareId, std::wstring* error);

// Removes the device USB\VID_0E8D&PID_0003\<serial>. Removing a device that is not there fails.
bool RemovePortDevice(std::wstring_view serial, std::wstring* error);

struct PortDevice {
    std::wstring portName;    // PortName value; empty when the device has none
    std::wstring hardwareId;  // first hardware id
    std::wstring instanceId;
};

// Every present Ports-class device, in the setup API's order.
bool ListPortDevices(std::vector<PortDevice>* out, std::wstring* error);

}  // namespace tvsp::rig
