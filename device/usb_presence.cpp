// Classification of plug-and-play notifications into watch events (pure logic).
#include "device/usb_presence.h"

namespace TVSP {
namespace {

wchar_t FoldAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

}  // namespace

bool PathContainsHardwareId(std::wstring_view path, std::string_view hardwareId) {
    if (hardwareId.empty()) return true;
    if (path.size() < hardwareId.size()) return false;
    for (std::size_t start = 0; start + hardwareId.size() <= path.size(); ++start) {
        std::size_t i = 0;
        while (i < hardwareId.size() &&
               FoldAscii(path[start + i]) == FoldAscii(static_cast<wchar_t>(static_cast<unsigned char>(hardwareId[i])))) {
            ++i;
        }
        if (i == hardwareId.size()) return true;
    }
    return false;
}

WatchEventResult ClassifyDeviceChange(const DeviceChange& change, UsbPresenceState& state) {
    const bool arrival = change.event == kDeviceArrival;
    if (!arrival && change.event != kDeviceRemoveComplete) return {};

    switch (change.record) {
    case BroadcastRecord::DeviceInterface:
        // The serial id wins over the disk id: a path naming both is the serial function.
        if (PathContainsHardwareId(change.interfacePath, kWatchSerialHardwareId)) {
            return {arrival ? WatchEvent::SerialPortArrival : WatchEvent::SerialPortRemoval, 0};
        }
        if (PathContainsHardwareId(change.interfacePath, kWatchDiskFunctionHardwareId)) {
            // Arrival and removal alike: the volume event that follows belongs to the watch.
            state.usbDiskPending = true;
            return {WatchEvent::DiskFunctionSeen, 0};
        }
        return {};
    case BroadcastRecord::Volume:
        if (!state.usbDiskPending) return {};
        state.usbDiskPending = false;
        if (!arrival) return {WatchEvent::WatchDiskRemoval, 0};
        // A disk that shows up while a watch is connected or being flashed is not acted on.
        if (state.flashRunning || state.connected) return {};
        return {WatchEvent::WatchDiskArrival, change.unitMask};
    case BroadcastRecord::None:
    case BroadcastRecord::Malformed:
    case BroadcastRecord::Other:
        break;
    }
    return {};
}

const char* WatchEventName(WatchEvent event) {
    switch (event) {
    case WatchEvent::None: return "None";
    case WatchEvent::SerialPortArrival: return "SerialPortArrival";
    case WatchEvent::SerialPortRemoval: return "SerialPortRemoval";
    case WatchEvent::DiskFunctionSeen: return "DiskFunctionSeen";
    case WatchEvent::WatchDiskArrival: return "WatchDiskArrival";
    case WatchEvent::WatchDiskRemoval: return "WatchDiskRemoval";
    }
    return "?";
}

}  // namespace TVSP
