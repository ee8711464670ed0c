// Machine identifier: gathers processor, disk, network adapter and volume facts from Windows.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <winioctl.h>

#include <cpuid.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "device/machine_id.h"
#include "device/system_utils.h"
#include "base/win/handle.h"
#include "base/win/strings.h"

namespace TVSP {
namespace {

std::string CpuSerial() {
    unsigned int eax1 = 0, ebx1 = 0, ecx1 = 0, edx1 = 0;
    if (!__get_cpuid(1, &eax1, &ebx1, &ecx1, &edx1)) return {};
    unsigned int eax3 = 0, ebx3 = 0, ecx3 = 0, edx3 = 0;
    // Leaf 3 exists only where leaf 1 advertises the serial; otherwise the zeros are not used.
    __get_cpuid(3, &eax3, &ebx3, &ecx3, &edx3);
    return CpuComponent(eax1, edx1, ecx3, edx3);
}

// The drives whose disk and volume are asked, in order: C:, then the program's own drive.
std::vector<wchar_t> CandidateDrives() {
    std::vector<wchar_t> drives{L'C'};
    const std::wstring own = GetOwnDirectory();
    if (own.size() >= 2 && own[1] == L':') {
        wchar_t letter = own[0];
        if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - L'a' + L'A');
        if (letter != L'C') drives.push_back(letter);
    }
    return drives;
}

// Disk number of the physical drive that holds a drive letter, or -1.
long DiskNumberOfDrive(wchar_t letter) {
    wchar_t volume[] = L"\\\\.\\?:";
    volume[4] = letter;
    unique_hfile device(::CreateFileW(volume, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
    if (!device) return -1;
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    if (!::DeviceIoControl(device.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof(number),
                           &returned, nullptr)) {
        return -1;
    }
    return static_cast<long>(number.DeviceNumber);
}

std::string SerialFromDescriptor(HANDLE disk) {
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::vector<BYTE> buffer(4096, 0);
    DWORD returned = 0;
    if (!::DeviceIoControl(disk, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), buffer.data(),
                           static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
        return {};
    }
    if (returned < sizeof(STORAGE_DEVICE_DESCRIPTOR)) return {};
    const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer.data());
    const DWORD offset = descriptor->SerialNumberOffset;
    if (offset == 0 || offset >= returned) return {};
    const char* text = reinterpret_cast<const char*>(buffer.data() + offset);
    return std::string(text, ::strnlen(text, returned - offset));
}

std::string SerialFromSmart(HANDLE disk, long diskNumber) {
    SENDCMDINPARAMS in{};
    in.cBufferSize = 512;
    in.irDriveRegs.bSectorCountReg = 1;
    in.irDriveRegs.bSectorNumberReg = 1;
    // Master or slave on its channel, as the identify command addresses it.
    in.irDriveRegs.bDriveHeadReg = static_cast<BYTE>(0xA0 | ((diskNumber & 1) << 4));
    in.irDriveRegs.bCommandReg = ID_CMD;
    in.bDriveNumber = static_cast<BYTE>(diskNumber);
    std::vector<BYTE> out(sizeof(SENDCMDOUTPARAMS) + 512, 0);
    DWORD returned = 0;
    if (!::DeviceIoControl(disk, SMART_RCV_DRIVE_DATA, &in, sizeof(in) - 1, out.data(),
                           static_cast<DWORD>(out.size()), &returned, nullptr)) {
        return {};
    }
    const auto* result = reinterpret_cast<const SENDCMDOUTPARAMS*>(out.data());
    // Words 10 to 19 of the identify data hold the serial number.
    const auto* identify = result->bBuffer;
    return SwapAtaStringBytes(std::string_view(reinterpret_cast<const char*>(identify) + 20, 20));
}

std::string DiskSerial() {
    for (const wchar_t letter : CandidateDrives()) {
        const long number = DiskNumberOfDrive(letter);
        if (number < 0) continue;
        wchar_t name[64] = {};
        std::swprintf(name, std::size(name), L"\\\\.\\PhysicalDrive%ld", number);
        // Query access is enough for the descriptor; SMART needs read and write.
        std::string serial;
        {
            unique_hfile disk(::CreateFileW(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                            0, nullptr));
            if (disk) serial = NormaliseDiskSerial(SerialFromDescriptor(disk.get()));
        }
        if (serial.empty()) {
            unique_hfile disk(::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
            if (disk) serial = NormaliseDiskSerial(SerialFromSmart(disk.get(), number));
        }
        if (!serial.empty()) return serial;
    }
    return {};
}

// NetCfgInstanceId of every adapter the network class key marks as physical (bit 0x4 set, bit
// 0x1 "virtual" clear).
std::vector<std::wstring> PhysicalAdapterIds() {
    std::vector<std::wstring> ids;
    unique_hkey classKey;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                        L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}", 0,
                        KEY_READ, classKey.put()) != ERROR_SUCCESS) {
        return ids;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t subName[256] = {};
        DWORD subLength = static_cast<DWORD>(std::size(subName));
        const LONG status =
            ::RegEnumKeyExW(classKey.get(), index, subName, &subLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        unique_hkey sub;
        if (::RegOpenKeyExW(classKey.get(), subName, 0, KEY_READ, sub.put()) != ERROR_SUCCESS) continue;
        DWORD characteristics = 0;
        DWORD size = sizeof(characteristics);
        DWORD type = 0;
        if (::RegQueryValueExW(sub.get(), L"Characteristics", nullptr, &type,
                               reinterpret_cast<BYTE*>(&characteristics), &size) != ERROR_SUCCESS ||
            type != REG_DWORD) {
            continue;
        }
        if (!(characteristics & 0x4) || (characteristics & 0x1)) continue;
        wchar_t id[128] = {};
        size = sizeof(id) - sizeof(wchar_t);
        if (::RegQueryValueExW(sub.get(), L"NetCfgInstanceId", nullptr, &type, reinterpret_cast<BYTE*>(id),
                               &size) != ERROR_SUCCESS ||
            type != REG_SZ) {
            continue;
        }
        ids.emplace_back(id);
    }
    return ids;
}

std::string MacAddress() {
    ULONG size = 0;
    if (::GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return {};
    std::vector<BYTE> buffer(size, 0);
    auto* adapters = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    if (::GetAdaptersInfo(adapters, &size) != ERROR_SUCCESS) return {};

    const std::vector<std::wstring> physical = PhysicalAdapterIds();
    std::string lastPhysical;
    for (const IP_ADAPTER_INFO* adapter = adapters; adapter; adapter = adapter->Next) {
        const std::wstring name = AnsiToWide(adapter->AdapterName);
        bool isPhysical = false;
        for (const auto& id : physical) {
            if (::lstrcmpiW(id.c_str(), name.c_str()) == 0) {
                isPhysical = true;
                break;
            }
        }
        if (!isPhysical) continue;
        const std::size_t length = adapter->AddressLength <= MAX_ADAPTER_ADDRESS_LENGTH
                                       ? adapter->AddressLength
                                       : MAX_ADAPTER_ADDRESS_LENGTH;
        std::string mac = FormatMacAddress(adapter->Address, length);
        if (adapter->Type == MIB_IF_TYPE_ETHERNET) return mac;
        lastPhysical = std::move(mac);
    }
    return lastPhysical;
}

std::string VolumeSerial() {
    for (const wchar_t letter : CandidateDrives()) {
        DWORD serial = 0;
        wchar_t device[] = L"\\\\.\\?:\\";
        device[4] = letter;
        wchar_t root[] = L"?:\\";
        root[0] = letter;
        if (::GetVolumeInformationW(device, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0) ||
            ::GetVolumeInformationW(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) {
            return FormatVolumeSerial(serial);
        }
    }
    return {};
}

}  // namespace

std::string GetMachineId() {
    return AssembleMachineId(CpuSerial(), DiskSerial(), MacAddress(), VolumeSerial());
}

}  // namespace TVSP
