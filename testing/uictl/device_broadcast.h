// Test helper: the WM_DEVICECHANGE record of a USB device interface, as the system broadcasts it.
#pragma once

#include <windows.h>
#include <dbt.h>

#include <cwchar>
#include <string>
#include <vector>

namespace tvsp {

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}, the USB device interface class.
inline constexpr GUID kUsbDeviceInterfaceClass = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// A DEV_BROADCAST_DEVICEINTERFACE_W naming `path`, its name ended by a terminator; pass data()
// as the message's lParam.
inline std::vector<BYTE> DeviceInterfaceRecord(const std::wstring& path) {
    std::vector<BYTE> record(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) + path.size() * sizeof(wchar_t));
    auto* device = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(record.data());
    device->dbcc_size = static_cast<DWORD>(record.size());
    device->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    device->dbcc_classguid = kUsbDeviceInterfaceClass;
    std::wmemcpy(device->dbcc_name, path.c_str(), path.size() + 1);
    return record;
}

}  // namespace tvsp
