// Fake serial devices in a Wine prefix's device registry: create, remove and list Ports devices.
#include "testing/wine/port_registration.h"

#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "base/win/setupapi_util.h"

namespace tvsp::rig {
namespace {

// {4D36E978-E325-11CE-BFC1-08002BE10318}: the Ports (COM & LPT) setup class.
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::wstring Reason(const wchar_t* what, DWORD code) {
    wchar_t text[160];
    // Setup-API codes (0xE000xxxx) read better in hex, system codes in decimal.
    std::swprintf(text, 160, code >= 0x10000 ? L"%ls failed (error 0x%08lX)" : L"%ls failed (error %lu)", what,
                  static_cast<unsigned long>(code));
    return text;
}

bool Fail(std::wstring* error, std::wstring reason) {
    if (error) *error = std::move(reason);
    return false;
}

bool FailLast(std::wstring* error, const wchar_t* what) { return Fail(error, Reason(what, ::GetLastError())); }

// The first string of the device's hardware-id list.
std::wstring FirstHardwareId(HDEVINFO set, SP_DEVINFO_DATA* device) {
    const std::vector<std::wstring> ids = TVSP::ReadMultiSzProperty(set, device, SPDRP_HARDWAREID);
    return ids.empty() ? std::wstring() : ids.front();
}

std::wstring InstanceId(HDEVINFO set, SP_DEVINFO_DATA* device) {
    DWORD needed = 0;
    ::SetupDiGetDeviceInstanceIdW(set, device, nullptr, 0, &needed);
    if (needed == 0) return {};
    std::wstring id(needed, L'\0');
    if (!::SetupDiGetDeviceInstanceIdW(set, device, id.data(), needed, nullptr)) return {};
    return std::wstring(id.c_str());
}

}  // namespace

std::wstring WatchInstanceId(std::wstring_view serial) {
    std::wstring id(kWatchHardwareId);
    id += L'\\';
    id += serial;
    return id;
}

bool AddPortDevice(int comNumber, std::wstring_view serial, std::wstring_view hardwareId, std::wstring* error) {
    if (serial.empty() || serial.find(L'\\') != std::wstring_view::npos)
        return Fail(error, L"serial must be non-empty and contain no backslash");
    if (hardwareId.empty()) return Fail(error, L"hardware id must be non-empty");
    if (comNumber < 0 || comNumber > 255) return Fail(error, L"COM number must be 0..255");

    const std::wstring id = WatchInstanceId(serial);
    // Replace a device left by an earlier run rather than failing on the duplicate id.
    {
        TVSP::unique_hdevinfo existing(::SetupDiCreateDeviceInfoList(nullptr, nullptr));
        if (!existing) return FailLast(error, L"SetupDiCreateDeviceInfoList");
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        if (::SetupDiOpenDeviceInfoW(existing.get(), id.c_str(), nullptr, 0, &device) &&
            !::SetupDiRemoveDevice(existing.get(), &device))
            return FailLast(error, L"SetupDiRemoveDevice of the earlier device");
    }

    TVSP::unique_hdevinfo set(::SetupDiCreateDeviceInfoList(&kPortsClass, nullptr));
    if (!set) return FailLast(error, L"SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!::SetupDiCreateDeviceInfoW(set.get(), id.c_str(), &kPortsClass, nullptr, nullptr, 0, &device))
        return FailLast(error, L"SetupDiCreateDeviceInfoW");

    // Multi-string: the revision-specific id first, then the plain one, then the final empty string.
    std::wstring ids(hardwareId);
    ids += L"&REV_0100";
    ids += L'\0';
    ids += hardwareId;
    ids += L'\0';
    ids += L'\0';
    if (!::SetupDiSetDeviceRegistryPropertyW(set.get(), &device, SPDRP_HARDWAREID,
                                             reinterpret_cast<const BYTE*>(ids.data()),
                                             static_cast<DWORD>(ids.size() * sizeof(wchar_t))))
        return FailLast(error, L"SetupDiSetDeviceRegistryPropertyW(SPDRP_HARDWAREID)");
    if (!::SetupDiRegisterDeviceInfo(set.get(), &device, 0, nullptr, nullptr, nullptr))
        return FailLast(error, L"SetupDiRegisterDeviceInfo");

    if (comNumber > 0) {
        const TVSP::unique_hkey key = TVSP::AdoptDevRegKey(
            ::SetupDiCreateDevRegKeyW(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr));
        std::wstring failure;
        if (!key) {
            failure = Reason(L"SetupDiCreateDevRegKeyW(DIREG_DEV)", ::GetLastError());
        } else {
            const std::wstring portName = L"COM" + std::to_wstring(comNumber);
            const LSTATUS status =
                ::RegSetValueExW(key.get(), L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(portName.c_str()),
                                 static_cast<DWORD>((portName.size() + 1) * sizeof(wchar_t)));
            if (status != ERROR_SUCCESS) failure = Reason(L"RegSetValueExW(PortName)", static_cast<DWORD>(status));
        }
        if (!failure.empty()) {
            // A registered device without its port name would mislead later enumerations.
            ::SetupDiRemoveDevice(set.get(), &device);
            return Fail(error, std::move(failure));
        }
    }
    return true;
}

bool RemovePortDevice(std::wstring_view serial, std::wstring* error) {
    if (serial.empty()) return Fail(error, L"serial must be non-empty");
    const std::wstring id = WatchInstanceId(serial);
    TVSP::unique_hdevinfo set(::SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (!set) return FailLast(error, L"SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!::SetupDiOpenDeviceInfoW(set.get(), id.c_str(), nullptr, 0, &device)) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_NO_SUCH_DEVINST) return Fail(error, L"no device " + id);
        return Fail(error, Reason((L"SetupDiOpenDeviceInfoW(" + id + L")").c_str(), code));
    }
    if (!::SetupDiRemoveDevice(set.get(), &device)) return FailLast(error, L"SetupDiRemoveDevice");
    return true;
}

bool ListPortDevices(std::vector<PortDevice>* out, std::wstring* error) {
    out->clear();
    TVSP::unique_hdevinfo set(::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!set) return FailLast(error, L"SetupDiGetClassDevsW(Ports)");
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
        PortDevice entry;
        entry.instanceId = InstanceId(set.get(), &device);
        entry.hardwareId = FirstHardwareId(set.get(), &device);
        const TVSP::unique_hkey key = TVSP::AdoptDevRegKey(
            ::SetupDiOpenDevRegKey(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE));
        if (key) entry.portName = TVSP::ReadRegString(key.get(), L"PortName");
        out->push_back(std::move(entry));
    }
    if (::GetLastError() != ERROR_NO_MORE_ITEMS) return FailLast(error, L"SetupDiEnumDeviceInfo");
    return true;
}

}  // namespace tvsp::rig
