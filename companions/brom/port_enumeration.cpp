// Port enumeration of the brom.dll stand-in: serial ports found through the setup API's Ports class.
#include "brom/brom_api.h"

#include <setupapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/win/setupapi_util.h"
#include "base/win/strings.h"

namespace {

// {4D36E978-E325-11CE-BFC1-08002BE10318}: the Ports (COM & LPT) setup class.
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

void ToUpper(std::wstring* text) {
    if (!text->empty()) ::CharUpperBuffW(text->data(), static_cast<DWORD>(text->size()));
}

// "COMn" (any case) with n a decimal 1..65535 and nothing else; 0 for anything else ("LPT1",
// "COM", "COM0", "COM1x").
unsigned short ParsePortName(const std::wstring& name) {
    if (name.size() < 4 || name.size() > 8 || ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), 3,
                                                               L"COM", 3) != CSTR_EQUAL)
        return 0;
    unsigned long value = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < L'0' || name[i] > L'9') return 0;
        value = value * 10 + static_cast<unsigned long>(name[i] - L'0');
        if (value > 65535) return 0;
    }
    return static_cast<unsigned short>(value);
}

std::wstring ReadPortName(HDEVINFO set, SP_DEVINFO_DATA* device) {
    const TVSP::unique_hkey key =
        TVSP::AdoptDevRegKey(::SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE));
    if (!key) return {};
    // Only the text before an embedded terminator names the port.
    return std::wstring(TVSP::ReadRegString(key.get(), L"PortName").c_str());
}

// Every hardware id of the device, upper-cased.
std::vector<std::wstring> ReadHardwareIds(HDEVINFO set, SP_DEVINFO_DATA* device) {
    std::vector<std::wstring> ids = TVSP::ReadMultiSzProperty(set, device, SPDRP_HARDWAREID);
    for (auto& id : ids) ToUpper(&id);
    return ids;
}

bool Passes(const std::vector<std::wstring>& hardwareIds, const std::vector<std::wstring>& filters) {
    for (const auto& id : hardwareIds)
        for (const auto& text : filters)
            if (id.find(text) != std::wstring::npos) return true;
    return false;
}

// Collects the port numbers of present Ports-class devices (passing the filter when one is
// given), ascending and without repeats.
int CollectPorts(const std::vector<std::wstring>* filters, std::vector<unsigned short>* ports) {
    const TVSP::unique_hdevinfo set(::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!set) return BROM_PORT_SYSTEM_ERROR;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
        if (filters && !Passes(ReadHardwareIds(set.get(), &device), *filters)) continue;
        if (const unsigned short port = ParsePortName(ReadPortName(set.get(), &device))) ports->push_back(port);
    }
    if (::GetLastError() != ERROR_NO_MORE_ITEMS) return BROM_PORT_SYSTEM_ERROR;
    std::sort(ports->begin(), ports->end());
    ports->erase(std::unique(ports->begin(), ports->end()), ports->end());
    return BROM_PORT_OK;
}

// Writes at most *count entries; *count becomes the number written.
int Deliver(const std::vector<unsigned short>& found, unsigned short* ports, unsigned short* count) {
    const unsigned short capacity = *count;
    if (found.empty()) {
        *count = 0;
        return BROM_PORT_NONE;
    }
    const size_t written = std::min<size_t>(found.size(), capacity);
    std::copy_n(found.begin(), written, ports);
    *count = static_cast<unsigned short>(written);
    return written < found.size() ? BROM_PORT_TRUNCATED : BROM_PORT_OK;
}

int Enumerate(unsigned short* ports, unsigned short* count, const COM_PORT_FILTER* filter, bool filtered) {
    if (!count) return BROM_PORT_INVALID_ARGUMENT;
    if (!ports || (filtered && (!filter || (filter->count > 0 && !filter->hardwareIds)))) {
        *count = 0;
        return BROM_PORT_INVALID_ARGUMENT;
    }
    try {
        std::vector<std::wstring> filters;
        if (filtered) {
            for (unsigned int i = 0; i < filter->count; ++i) {
                // An empty text would pass every device; a filter that selects anything at all
                // is never what a caller means, so empty and null texts match nothing.
                const char* text = filter->hardwareIds[i];
                if (!text || !*text) continue;
                std::wstring wide = TVSP::AnsiToWide(text);
                if (wide.empty()) continue;
                ToUpper(&wide);
                filters.push_back(std::move(wide));
            }
        }
        std::vector<unsigned short> found;
        if (const int result = CollectPorts(filtered ? &filters : nullptr, &found); result != BROM_PORT_OK) {
            *count = 0;
            return result;
        }
        return Deliver(found, ports, count);
    } catch (...) {
        // Nothing may unwind into the caller (out of memory is the only source here).
        *count = 0;
        return BROM_PORT_SYSTEM_ERROR;
    }
}

}  // namespace

extern "C" int WINAPI ComPortEnumerate(unsigned short* ports, unsigned short* count) {
    return Enumerate(ports, count, nullptr, false);
}

extern "C" int WINAPI ComPortEnumerateWithFilterHardwareID(unsigned short* ports, unsigned short* count,
                                                           const COM_PORT_FILTER* filter) {
    return Enumerate(ports, count, filter, true);
}
