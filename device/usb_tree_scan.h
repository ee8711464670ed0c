// On-demand walk of every USB host controller, hub and port looking for the watch and its driver.
#pragma once

#include <windows.h>
#include <winioctl.h>  // CTL_CODE, which the lean windows.h leaves out
#include <cfgmgr32.h>
#include <usbioctl.h>

#include <memory>
#include <optional>
#include <string>

namespace TVSP {

// Sent (not posted) to the connection guide's window; lParam is always 0.
inline constexpr UINT WM_GUIDE_DEVICE_FOUND = WM_USER + 101;   // wParam 1 usable, 0 present but not usable
inline constexpr UINT WM_GUIDE_REPAIR_DRIVER = WM_USER + 102;  // wParam 0: start the driver repair

// The watch's serial function in a port's device descriptor.
inline constexpr USHORT kWatchVendorId = 0x0E8D;
inline constexpr USHORT kWatchSerialProductId = 0x0003;

// Device descriptions of the driver bound to the watch's serial function, compared exactly.
inline constexpr const wchar_t* kSerialDriverDescription = L"MTK USB Port";
inline constexpr const wchar_t* kWrongNetworkDriverDescription = L"Alcatel Single RNDIS Interface";

// The I/O controls the walk uses (winioctl codes of the USB stack).
inline constexpr DWORD kIoctlGetHcdDriverKeyName = 0x220424;
inline constexpr DWORD kIoctlGetRootHubName = 0x220408;
inline constexpr DWORD kIoctlGetNodeInformation = 0x220408;
inline constexpr DWORD kIoctlGetNodeConnectionInformation = 0x22040C;
inline constexpr DWORD kIoctlGetNodeConnectionName = 0x220414;
inline constexpr DWORD kIoctlGetNodeConnectionDriverKeyName = 0x220420;
inline constexpr DWORD kIoctlGetNodeConnectionInformationEx = 0x220448;

// Connection information with room for 30 pipes, the buffer both port queries fill (365 bytes).
#include <pshpack1.h>
struct UsbConnectionInfoBuffer {
    USB_NODE_CONNECTION_INFORMATION_EX info;
    USB_PIPE_INFO pipes[30];
};
struct UsbLegacyConnectionInfoBuffer {
    USB_NODE_CONNECTION_INFORMATION info;
    USB_PIPE_INFO pipes[30];
};
#include <poppack.h>

// An opened host controller or hub.
class IUsbDeviceHandle {
public:
    virtual ~IUsbDeviceHandle() = default;
    virtual bool Control(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) = 0;
};

// Everything the scan asks of the system, so it can run on scripted trees (Wine has no USB host).
class IUsbHostAccess {
public:
    virtual ~IUsbHostAccess() = default;
    // Opens "\\.\HCDn" or "\\.\<hub name>" with write access, write sharing; null when it cannot.
    virtual std::unique_ptr<IUsbDeviceHandle> Open(const std::wstring& path) = 0;
    // Configuration manager's device tree.
    virtual CONFIGRET LocateRootNode(DEVINST* node) = 0;
    virtual CONFIGRET GetChild(DEVINST* child, DEVINST node) = 0;
    virtual CONFIGRET GetSibling(DEVINST* sibling, DEVINST node) = 0;
    virtual CONFIGRET GetParent(DEVINST* parent, DEVINST node) = 0;
    virtual CONFIGRET GetRegistryProperty(DEVINST node, ULONG property, void* buffer, ULONG* length) = 0;
    // Uninstalls the wrong network driver package (device/driver_package.h).
    virtual void RemoveWrongDriverPackage() = 0;
};

// The real system: CreateFileW/DeviceIoControl, cfgmgr32, SetupUninstallOEMInfW.
class SystemUsbHostAccess final : public IUsbHostAccess {
public:
    std::unique_ptr<IUsbDeviceHandle> Open(const std::wstring& path) override;
    CONFIGRET LocateRootNode(DEVINST* node) override;
    CONFIGRET GetChild(DEVINST* child, DEVINST node) override;
    CONFIGRET GetSibling(DEVINST* sibling, DEVINST node) override;
    CONFIGRET GetParent(DEVINST* parent, DEVINST node) override;
    CONFIGRET GetRegistryProperty(DEVINST node, ULONG property, void* buffer, ULONG* length) override;
    void RemoveWrongDriverPackage() override;
};

// Walks controllers \\.\HCD0 to \\.\HCD9 and every hub below them, and sends the guide messages
// for every port that holds the watch's serial function. Runs on the guide window's thread: the
// messages are handled (and the driver repair runs) before the walk goes on.
void ScanUsbHubs(HWND guideWindow, IUsbHostAccess& access);
void ScanUsbHubs(HWND guideWindow);

// Steps of the walk, open to tests.

// Port's connection information: the extended query, else the legacy one converted (LowSpeed
// set gives Speed 0, else 1). False when both fail.
[[nodiscard]] bool ReadConnectionInformation(IUsbDeviceHandle& hub, ULONG port, UsbConnectionInfoBuffer& result);
// Controller-level name (HCD driver key, root hub name): header of 6 bytes, then the full size.
std::optional<std::wstring> ReadControllerName(IUsbDeviceHandle& device, DWORD code);
// Port-level name (hub name, driver key): header of 10 bytes with the port, then the full size.
std::optional<std::wstring> ReadPortName(IUsbDeviceHandle& hub, DWORD code, ULONG port);
// Device description of the node whose driver key matches (case-insensitively); none when no
// node matches or its description cannot be read.
std::optional<std::wstring> LookupDeviceDescription(IUsbHostAccess& access, const std::wstring& driverKey);

}  // namespace TVSP
