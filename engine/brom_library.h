// Binding of the chip vendor's download library brom.dll: loaded on first use from the program
// folder, every operation bound by its ordinal. A missing library or ordinal is a result code,
// never a crash, unlike a linker delay-load stub.
#pragma once

#include <windows.h>

#include "companions/brom/brom_api.h"

namespace TVSP {

// Ordinals of the library's operations.
enum BromOrdinal : WORD {
    kBromDL_Create = 13,
    kBromDL_Destroy = 14,
    kBromDL_Rom_UnloadAll = 24,
    kBromDA_Create = 25,
    kBromDA_Destroy = 26,
    kBromDA_Load = 32,
    kBromDA_Unload = 33,
    kBromComPortEnumerate = 49,
    kBromDL_CreateList = 117,
    kBromDL_DestroyList = 118,
    kBromFlashTool_Connect = 145,
    kBromFlashTool_Disconnect = 147,
    kBromFlashTool_EnableWatchDogTimeout = 150,
    kBromFlashTool_Download = 151,
    kBromGetROMSetting = 211,
    kBromGetExternalMemorySetting = 212,
    kBromDL_CreateROMEntries = 213,
    kBromDL_AutoLoadROMFiles = 214,
    kBromComPortEnumerateWithFilterHardwareID = 245,
    kBromDL_GetBMTPoolAddress = 269,
};

// Signatures the tool binds.
using PFN_ComPortEnumerate = int(WINAPI*)(unsigned short* ports, unsigned short* count);
using PFN_ComPortEnumerateWithFilterHardwareID = int(WINAPI*)(unsigned short* ports, unsigned short* count,
                                                              const COM_PORT_FILTER* filter);

// Result of a call that could not reach the library (not loadable, ordinal missing).
inline constexpr int kBromUnavailable = -1;

class BromLibrary {
public:
    static BromLibrary& Instance();

    // The function at this ordinal, loading the library on first use; null when unavailable.
    FARPROC ProcByOrdinal(WORD ordinal);
    bool IsLoaded();

    template <typename Fn>
    Fn Bind(WORD ordinal) {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(ProcByOrdinal(ordinal)));
    }

private:
    BromLibrary() = default;
    HMODULE Module();
};

}  // namespace TVSP
