// Windows side of USB presence: interface-notification registration and decoding of WM_DEVICECHANGE.
#pragma once

#include <windows.h>
#include <dbt.h>

#include "device/usb_presence.h"
#include "base/win/handle.h"

namespace TVSP {

namespace detail {
inline HDEVNOTIFY NullDevNotify() noexcept { return nullptr; }
inline void UnregisterDevNotifyNoResult(HDEVNOTIFY h) noexcept { ::UnregisterDeviceNotification(h); }
}  // namespace detail

// Owns one device-notification registration; unregisters it when dropped.
using unique_hdevnotify = unique_any<HDEVNOTIFY, detail::UnregisterDevNotifyNoResult, detail::NullDevNotify>;

// Asks for arrival and removal of every USB device interface (GUID_DEVINTERFACE_USB_DEVICE) to
// reach window as WM_DEVICECHANGE. Empty on failure (GetLastError tells why). Keep the owner as
// long as the window: volume notifications need no registration.
[[nodiscard]] unique_hdevnotify RegisterUsbDeviceNotifications(HWND window);

// Reads wParam/lParam of WM_DEVICECHANGE into plain values. lParam is only looked at for arrival
// and remove-complete events, and the record is read no further than its own dbch_size says.
DeviceChange DecodeDeviceChange(WPARAM wParam, LPARAM lParam);

// Decode and classify in one step, for the main window's WM_DEVICECHANGE handler (which then
// returns TRUE whatever the result).
[[nodiscard]] WatchEventResult ClassifyDeviceChangeMessage(WPARAM wParam, LPARAM lParam, UsbPresenceState& state);

}  // namespace TVSP
