// The download library's exports as the tool binds them (our brom.dll stand-in implements them).
#pragma once

#include <windows.h>

#include <cstddef>

extern "C" {

// Hardware-id filter for ComPortEnumerateWithFilterHardwareID: `count` narrow texts (ANSI code
// page); a device passes when any of its hardware ids contains any text, compared without case.
struct COM_PORT_FILTER {
    unsigned int count;
    const char* const* hardwareIds;
};

// Results of the port enumerations. On every result *count is the number of valid entries and
// nothing past that entry (nor past the caller's capacity) is written.
enum BROM_PORT_RESULT : int {
    BROM_PORT_OK = 0,                // at least one port; the list is complete
    BROM_PORT_INVALID_ARGUMENT = 1,  // a required pointer was null (*count is 0 when count is not)
    BROM_PORT_NONE = 2,              // no matching port at all: the list is empty, *count is 0
    BROM_PORT_SYSTEM_ERROR = 3,      // the device registry could not be read; *count is 0
    BROM_PORT_TRUNCATED = 4,         // more ports than room: the lowest *count (= capacity) ports
};

// ports: room for *count 16-bit COM numbers (the tool passes 255). Out: the COM numbers of every
// present serial-port device, ascending and without repeats; *count = how many were written.
int WINAPI ComPortEnumerate(unsigned short* ports, unsigned short* count);

// As ComPortEnumerate, for devices passing the filter only.
int WINAPI ComPortEnumerateWithFilterHardwareID(unsigned short* ports, unsigned short* count,
                                                const COM_PORT_FILTER* filter);

}  // extern "C"

namespace brom {

// Export ordinals; the tool binds these by number.
inline constexpr unsigned short kOrdinalComPortEnumerate = 49;
inline constexpr unsigned short kOrdinalComPortEnumerateWithFilterHardwareID = 245;

using ComPortEnumerateFn = int(WINAPI*)(unsigned short*, unsigned short*);
using ComPortEnumerateWithFilterHardwareIDFn = int(WINAPI*)(unsigned short*, unsigned short*,
                                                            const COM_PORT_FILTER*);

}  // namespace brom

#if defined(_WIN32) && !defined(_WIN64)
// The vendor's 32-bit library reads this record: two 4-byte fields.
static_assert(sizeof(COM_PORT_FILTER) == 8);
static_assert(offsetof(COM_PORT_FILTER, count) == 0);
static_assert(offsetof(COM_PORT_FILTER, hardwareIds) == 4);
#endif
