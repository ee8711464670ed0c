// Registration for USB interface notifications and bounded decoding of their broadcast records.
#include "device/usb_notifications.h"

#include <cstddef>
#include <cstring>

namespace TVSP {
namespace {

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}
constexpr GUID kUsbDeviceInterface = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// No real interface path comes near this; a larger size is a broken record, not a long name.
constexpr DWORD kMaxRecordSize = 64 * 1024;

constexpr DWORD kInterfaceNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
constexpr DWORD kVolumeMaskEnd = offsetof(DEV_BROADCAST_VOLUME, dbcv_unitmask) + sizeof(DWORD);

}  // namespace

unique_hdevnotify RegisterUsbDeviceNotifications(HWND window) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter;
    std::memset(&filter, 0, sizeof filter);
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kUsbDeviceInterface;
    return unique_hdevnotify(::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

DeviceChange DecodeDeviceChange(WPARAM wParam, LPARAM lParam) {
    DeviceChange change;
    change.event = static_cast<std::uint32_t>(wParam);
    // Other events carry no record, or one this tool does not read: lParam may not even be a pointer.
    if (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE) return change;
    if (lParam == 0) return change;

    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    const DWORD size = header->dbch_size;
    if (size < sizeof(DEV_BROADCAST_HDR) || size > kMaxRecordSize) {
        change.record = BroadcastRecord::Malformed;
        return change;
    }
    switch (header->dbch_devicetype) {
    case DBT_DEVTYP_DEVICEINTERFACE: {
        if (size < kInterfaceNameOffset) {
            change.record = BroadcastRecord::Malformed;
            return change;
        }
        // The name ends at its terminator or at the end of the record, whichever comes first.
        const auto* name = reinterpret_cast<const wchar_t*>(reinterpret_cast<const BYTE*>(header) + kInterfaceNameOffset);
        const std::size_t room = (size - kInterfaceNameOffset) / sizeof(wchar_t);
        std::size_t length = 0;
        while (length < room && name[length] != L'\0') ++length;
        change.record = BroadcastRecord::DeviceInterface;
        change.interfacePath.assign(name, length);
        return change;
    }
    case DBT_DEVTYP_VOLUME: {
        if (size < kVolumeMaskEnd) {
            change.record = BroadcastRecord::Malformed;
            return change;
        }
        change.record = BroadcastRecord::Volume;
        change.unitMask = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header)->dbcv_unitmask;
        return change;
    }
    default:
        change.record = BroadcastRecord::Other;
        return change;
    }
}

WatchEventResult ClassifyDeviceChangeMessage(WPARAM wParam, LPARAM lParam, UsbPresenceState& state) {
    return ClassifyDeviceChange(DecodeDeviceChange(wParam, lParam), state);
}

}  // namespace TVSP
