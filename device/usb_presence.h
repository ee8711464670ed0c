// Turns USB and volume plug-and-play notifications into the few watch events the workflow acts on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace TVSP {

// Hardware ids, matched as case-insensitive substrings of a device-interface path.
inline constexpr std::string_view kWatchSerialHardwareId = "VID_0E8D&PID_0003";
inline constexpr std::string_view kWatchDiskFunctionHardwareId = "VID_0E8D&PID_0002";

// WM_DEVICECHANGE event codes that carry a broadcast record.
inline constexpr std::uint32_t kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
inline constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE

// What the broadcast record in lParam turned out to be.
enum class BroadcastRecord {
    None,             // no record: null lParam, or an event that carries none
    Malformed,        // a record whose declared size cannot hold what its type needs
    DeviceInterface,  // DBT_DEVTYP_DEVICEINTERFACE, with its path
    Volume,           // DBT_DEVTYP_VOLUME, with its unit mask
    Other,            // any other device type
};

// One WM_DEVICECHANGE, decoded into plain values (Windows side: device/usb_notifications.h).
struct DeviceChange {
    std::uint32_t event = 0;  // wParam
    BroadcastRecord record = BroadcastRecord::None;
    std::wstring interfacePath;  // DeviceInterface only
    std::uint32_t unitMask = 0;  // Volume only: bit 0 is drive A
};

// The main window's state that classification reads; usbDiskPending is also written.
struct UsbPresenceState {
    bool usbDiskPending = false;  // a PID 0002 interface event was seen; the next volume event is the watch's disk
    bool flashRunning = false;    // workflow flag, read only
    bool connected = false;       // workflow flag, read only
};

enum class WatchEvent {
    None,
    SerialPortArrival,  // PID 0003 interface arrived: the workflow decides what it means
    SerialPortRemoval,  // PID 0003 interface removed
    DiskFunctionSeen,   // PID 0002 interface arrived or removed: usbDiskPending armed, nothing else to do
    WatchDiskArrival,   // hand unitMask to the watch-disk check
    WatchDiskRemoval,   // the workflow treats it like losing the serial function after a flash
};

struct WatchEventResult {
    WatchEvent event = WatchEvent::None;
    std::uint32_t unitMask = 0;  // WatchDiskArrival only
};

// Case-insensitive (ASCII) substring test, as hardware ids are matched in interface paths.
bool PathContainsHardwareId(std::wstring_view path, std::string_view hardwareId);

// Classifies one notification and updates state.usbDiskPending. A volume arrival clears the flag
// even when the workflow's flags keep it from being handed on.
[[nodiscard]] WatchEventResult ClassifyDeviceChange(const DeviceChange& change, UsbPresenceState& state);

const char* WatchEventName(WatchEvent event);

}  // namespace TVSP
