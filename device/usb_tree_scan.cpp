// USB tree scan: controllers, hubs and ports by I/O control; driver description from the device tree.
#include "device/usb_tree_scan.h"

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <new>

#include "device/driver_package.h"
#include "base/win/handle.h"

namespace TVSP {

static_assert(kIoctlGetHcdDriverKeyName == IOCTL_GET_HCD_DRIVERKEY_NAME);
static_assert(kIoctlGetRootHubName == IOCTL_USB_GET_ROOT_HUB_NAME);
static_assert(kIoctlGetNodeInformation == IOCTL_USB_GET_NODE_INFORMATION);
static_assert(kIoctlGetNodeConnectionInformation == IOCTL_USB_GET_NODE_CONNECTION_INFORMATION);
static_assert(kIoctlGetNodeConnectionName == IOCTL_USB_GET_NODE_CONNECTION_NAME);
static_assert(kIoctlGetNodeConnectionDriverKeyName == IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME);
static_assert(kIoctlGetNodeConnectionInformationEx == IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX);
static_assert(sizeof(UsbConnectionInfoBuffer) == 365);
static_assert(sizeof(UsbLegacyConnectionInfoBuffer) == 365);
static_assert(sizeof(USB_NODE_INFORMATION) == 76);
static_assert(sizeof(USB_HCD_DRIVERKEY_NAME) == 6 && sizeof(USB_ROOT_HUB_NAME) == 6);
static_assert(sizeof(USB_NODE_CONNECTION_NAME) == 10 && sizeof(USB_NODE_CONNECTION_DRIVERKEY_NAME) == 10);

namespace {

constexpr int kControllerCount = 10;
// USB allows five hubs between the root hub and a device; a deeper chain is a hub that names
// itself (or a loop), which would otherwise recurse without end.
constexpr int kMaxHubDepth = 7;
// No driver key or hub name comes near this; a larger reported length is not allocated.
constexpr ULONG kMaxNameBytes = 64 * 1024;
// The device-tree walk visits each node once; a configuration manager that loops is cut off here.
constexpr int kMaxTreeSteps = 1 << 20;
constexpr ULONG kPropertyBufferBytes = 200;

class SystemDeviceHandle final : public IUsbDeviceHandle {
public:
    explicit SystemDeviceHandle(unique_hfile file) : file_(std::move(file)) {}
    bool Control(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override {
        return ::DeviceIoControl(file_.get(), code, in, inSize, out, outSize, returned, nullptr) != FALSE;
    }

private:
    unique_hfile file_;
};

struct ZeroedBytes {
    explicit ZeroedBytes(std::size_t size) : bytes(new (std::nothrow) unsigned char[size]()), length(size) {}
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t length;
};

// Second call of a name query: a zeroed buffer of the reported length, name copied out of it.
std::optional<std::wstring> ReadFullName(IUsbDeviceHandle& device, DWORD code, ULONG actualLength,
                                         std::size_t nameOffset, const ULONG* port) {
    if (actualLength > kMaxNameBytes) return std::nullopt;
    ZeroedBytes buffer(actualLength);
    if (!buffer.bytes) return std::nullopt;
    if (port) std::memcpy(buffer.bytes.get(), port, sizeof *port);
    DWORD returned = 0;
    if (!device.Control(code, buffer.bytes.get(), actualLength, buffer.bytes.get(), actualLength, &returned)) {
        return std::nullopt;
    }
    // The name runs to its terminator or to the end of the buffer, never beyond.
    std::wstring name;
    for (std::size_t at = nameOffset; at + sizeof(wchar_t) <= buffer.length; at += sizeof(wchar_t)) {
        wchar_t c;
        std::memcpy(&c, buffer.bytes.get() + at, sizeof c);
        if (c == L'\0') break;
        name.push_back(c);
    }
    return name;
}

void Send(HWND guide, UINT message, WPARAM wParam) { ::SendMessageW(guide, message, wParam, 0); }

void WalkHub(HWND guide, IUsbHostAccess& access, const std::wstring& hubName, int depth);

void ScanPort(HWND guide, IUsbHostAccess& access, IUsbDeviceHandle& hub, ULONG port, int depth) {
    UsbConnectionInfoBuffer connection;
    if (!ReadConnectionInformation(hub, port, connection)) return;
    const USB_NODE_CONNECTION_INFORMATION_EX& info = connection.info;

    if (info.DeviceIsHub) {
        if (const auto name = ReadPortName(hub, kIoctlGetNodeConnectionName, port)) {
            WalkHub(guide, access, *name, depth + 1);
        }
        return;
    }

    std::optional<std::wstring> description;
    if (info.ConnectionStatus != NoDeviceConnected) {
        if (const auto key = ReadPortName(hub, kIoctlGetNodeConnectionDriverKeyName, port)) {
            description = LookupDeviceDescription(access, *key);
        }
    }

    if (info.DeviceDescriptor.idVendor != kWatchVendorId || info.DeviceDescriptor.idProduct != kWatchSerialProductId) {
        return;
    }
    const bool serialDriver = description && *description == kSerialDriverDescription;
    if (info.CurrentConfigurationValue != 0 && serialDriver) {
        Send(guide, WM_GUIDE_DEVICE_FOUND, 1);
        return;
    }
    Send(guide, WM_GUIDE_DEVICE_FOUND, 0);
    if (serialDriver) return;  // the right driver, just not configured yet: nothing to repair
    if (description && *description == kWrongNetworkDriverDescription) access.RemoveWrongDriverPackage();
    Send(guide, WM_GUIDE_REPAIR_DRIVER, 0);
}

void WalkHub(HWND guide, IUsbHostAccess& access, const std::wstring& hubName, int depth) {
    if (depth > kMaxHubDepth) return;
    std::unique_ptr<IUsbDeviceHandle> hub = access.Open(L"\\\\.\\" + hubName);
    if (!hub) return;
    USB_NODE_INFORMATION node;
    std::memset(&node, 0, sizeof node);
    DWORD returned = 0;
    if (!hub->Control(kIoctlGetNodeInformation, &node, sizeof node, &node, sizeof node, &returned)) return;
    const ULONG ports = node.u.HubInformation.HubDescriptor.bNumberOfPorts;
    for (ULONG port = 1; port <= ports; ++port) ScanPort(guide, access, *hub, port, depth);
}

}  // namespace

bool ReadConnectionInformation(IUsbDeviceHandle& hub, ULONG port, UsbConnectionInfoBuffer& result) {
    std::memset(&result, 0, sizeof result);
    result.info.ConnectionIndex = port;
    DWORD returned = 0;
    if (hub.Control(kIoctlGetNodeConnectionInformationEx, &result, sizeof result, &result, sizeof result, &returned)) {
        return true;
    }
    // Systems before Vista know only the older query, which has a low-speed flag instead of a speed.
    UsbLegacyConnectionInfoBuffer legacy;
    std::memset(&legacy, 0, sizeof legacy);
    legacy.info.ConnectionIndex = port;
    if (!hub.Control(kIoctlGetNodeConnectionInformation, &legacy, sizeof legacy, &legacy, sizeof legacy, &returned)) {
        std::memset(&result, 0, sizeof result);
        return false;
    }
    std::memset(&result, 0, sizeof result);
    result.info.ConnectionIndex = legacy.info.ConnectionIndex;
    result.info.DeviceDescriptor = legacy.info.DeviceDescriptor;
    result.info.CurrentConfigurationValue = legacy.info.CurrentConfigurationValue;
    result.info.Speed = legacy.info.LowSpeed ? 0 : 1;  // UsbLowSpeed : UsbFullSpeed
    result.info.DeviceIsHub = legacy.info.DeviceIsHub;
    result.info.DeviceAddress = legacy.info.DeviceAddress;
    result.info.NumberOfOpenPipes = legacy.info.NumberOfOpenPipes;
    result.info.ConnectionStatus = legacy.info.ConnectionStatus;
    std::memcpy(result.pipes, legacy.pipes, sizeof result.pipes);
    return true;
}

std::optional<std::wstring> ReadControllerName(IUsbDeviceHandle& device, DWORD code) {
    USB_HCD_DRIVERKEY_NAME header;  // same layout as USB_ROOT_HUB_NAME
    std::memset(&header, 0, sizeof header);
    DWORD returned = 0;
    if (!device.Control(code, &header, sizeof header, &header, sizeof header, &returned)) return std::nullopt;
    // A length that does not even cover the header leaves no room for a name: the root hub's
    // name is read even when its length only covers the header, but never from a shorter buffer.
    const bool rootHub = code == kIoctlGetRootHubName;
    if (rootHub ? header.ActualLength < sizeof header : header.ActualLength <= sizeof header) return std::nullopt;
    return ReadFullName(device, code, header.ActualLength, offsetof(USB_HCD_DRIVERKEY_NAME, DriverKeyName), nullptr);
}

std::optional<std::wstring> ReadPortName(IUsbDeviceHandle& hub, DWORD code, ULONG port) {
    USB_NODE_CONNECTION_NAME header;  // same layout as USB_NODE_CONNECTION_DRIVERKEY_NAME
    std::memset(&header, 0, sizeof header);
    header.ConnectionIndex = port;
    DWORD returned = 0;
    if (!hub.Control(code, &header, sizeof header, &header, sizeof header, &returned)) return std::nullopt;
    if (header.ActualLength <= sizeof header) return std::nullopt;
    return ReadFullName(hub, code, header.ActualLength, offsetof(USB_NODE_CONNECTION_NAME, NodeName), &port);
}

std::optional<std::wstring> LookupDeviceDescription(IUsbHostAccess& access, const std::wstring& driverKey) {
    DEVINST node = 0;
    if (access.LocateRootNode(&node) != CR_SUCCESS) return std::nullopt;
    // One terminator more than the property buffer holds, so a full buffer is still a string.
    wchar_t text[kPropertyBufferBytes / sizeof(wchar_t) + 1];
    for (int step = 0; step < kMaxTreeSteps; ++step) {
        std::memset(text, 0, sizeof text);
        ULONG length = kPropertyBufferBytes;
        if (access.GetRegistryProperty(node, CM_DRP_DRIVER, text, &length) == CR_SUCCESS &&
            _wcsicmp(text, driverKey.c_str()) == 0) {
            std::memset(text, 0, sizeof text);
            length = kPropertyBufferBytes;
            if (access.GetRegistryProperty(node, CM_DRP_DEVICEDESC, text, &length) != CR_SUCCESS) return std::nullopt;
            return std::wstring(text);
        }
        // Depth first: child, else next sibling, else the nearest ancestor's next sibling.
        DEVINST next = 0;
        if (access.GetChild(&next, node) == CR_SUCCESS) {
            node = next;
            continue;
        }
        for (;;) {
            if (access.GetSibling(&next, node) == CR_SUCCESS) {
                node = next;
                break;
            }
            if (access.GetParent(&next, node) != CR_SUCCESS) return std::nullopt;
            node = next;
        }
    }
    return std::nullopt;
}

void ScanUsbHubs(HWND guideWindow, IUsbHostAccess& access) {
    for (int index = 0; index < kControllerCount; ++index) {
        std::unique_ptr<IUsbDeviceHandle> controller = access.Open(L"\\\\.\\HCD" + std::to_wstring(index));
        if (!controller) continue;
        if (!ReadControllerName(*controller, kIoctlGetHcdDriverKeyName)) continue;
        if (const auto rootHub = ReadControllerName(*controller, kIoctlGetRootHubName)) {
            WalkHub(guideWindow, access, *rootHub, 1);
        }
    }
}

void ScanUsbHubs(HWND guideWindow) {
    SystemUsbHostAccess access;
    ScanUsbHubs(guideWindow, access);
}

std::unique_ptr<IUsbDeviceHandle> SystemUsbHostAccess::Open(const std::wstring& path) {
    unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return nullptr;
    return std::make_unique<SystemDeviceHandle>(std::move(file));
}

CONFIGRET SystemUsbHostAccess::LocateRootNode(DEVINST* node) {
    return ::CM_Locate_DevNodeW(node, nullptr, CM_LOCATE_DEVNODE_NORMAL);
}

CONFIGRET SystemUsbHostAccess::GetChild(DEVINST* child, DEVINST node) { return ::CM_Get_Child(child, node, 0); }

CONFIGRET SystemUsbHostAccess::GetSibling(DEVINST* sibling, DEVINST node) {
    return ::CM_Get_Sibling(sibling, node, 0);
}

CONFIGRET SystemUsbHostAccess::GetParent(DEVINST* parent, DEVINST node) { return ::CM_Get_Parent(parent, node, 0); }

CONFIGRET SystemUsbHostAccess::GetRegistryProperty(DEVINST node, ULONG property, void* buffer, ULONG* length) {
    return ::CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, buffer, length, 0);
}

void SystemUsbHostAccess::RemoveWrongDriverPackage() {
    // The scan goes on whether or not a package was there or could be removed: it only clears
    // the way for the right driver.
    static_cast<void>(TVSP::RemoveWrongDriverPackage());
}

}  // namespace TVSP
