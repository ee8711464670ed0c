// Binding of the chip vendor's download library brom.dll: loaded on first use from the program
// folder, every operation bound by its ordinal. A missing library or ordinal is a result code,
// never a crash, unlike a linker delay-load stub.
#pragma once

#include <windows.h>

#include "brom/brom_api.h"

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

// Result of a call that could not reach the library (not loadable, ordinal missing).
inline constexpr int kBromUnavailable = -1;

// Loading and binding of brom.dll itself; the operations go through IDownloadLibrary.
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

// The library's operations as the download engine uses them. The process's real library is
// DownloadLibrary(); tests hand the engine a scripted one. Every operation answers the library's
// result (kBromUnavailable when it could not be reached). The results the download judges must
// not be dropped; those it does not judge (creating, releasing, disconnecting, the watchdog)
// are left unmarked.
class IDownloadLibrary {
public:
    virtual ~IDownloadLibrary() = default;

    [[nodiscard]] virtual int ComPortEnumerate(unsigned short* ports, unsigned short* count) = 0;
    [[nodiscard]] virtual int ComPortEnumerateWithFilterHardwareID(unsigned short* ports, unsigned short* count,
                                                     const COM_PORT_FILTER* filter) = 0;
    virtual int DL_Create(DL_HANDLE_T* dl) = 0;
    virtual int DL_Destroy(DL_HANDLE_T* dl) = 0;
    virtual int DL_Rom_UnloadAll(DL_HANDLE_T dl) = 0;
    virtual int DA_Create(DA_HANDLE_T* da) = 0;
    virtual int DA_Destroy(DA_HANDLE_T* da) = 0;
    [[nodiscard]] virtual int DA_Load(DA_HANDLE_T da, const char* path, int verify) = 0;
    virtual int DA_Unload(DA_HANDLE_T da) = 0;
    virtual int DL_CreateList(DL_LIST_HANDLE_T* list) = 0;
    virtual int DL_DestroyList(DL_LIST_HANDLE_T* list) = 0;
    [[nodiscard]] virtual int FlashTool_Connect(unsigned char port, BROM_CONNECT_ARGS* args, BROM_CONNECT_RESULT* result,
                                  int* stopFlag, FLASHTOOL_HANDLE_T* handle) = 0;
    virtual int FlashTool_Disconnect(FLASHTOOL_HANDLE_T* handle, int reserved1, int reserved2) = 0;
    virtual int FlashTool_EnableWatchDogTimeout(FLASHTOOL_HANDLE_T handle, unsigned int milliseconds, int reserved1,
                                                int reserved2) = 0;
    [[nodiscard]] virtual int FlashTool_Download(FLASHTOOL_HANDLE_T handle, BROM_DOWNLOAD_ARGS* args,
                                   BROM_DOWNLOAD_RESULT* result) = 0;
    [[nodiscard]] virtual int GetROMSetting(const char* cfgPath, BROM_ROM_SETTING* setting, int reserved) = 0;
    [[nodiscard]] virtual int GetExternalMemorySetting(const char* cfgPath, BROM_EXTERNAL_MEMORY_SETTING* setting,
                                         int reserved) = 0;
    [[nodiscard]] virtual int DL_CreateROMEntries(DL_HANDLE_T dl, const BROM_ROM_SETTING* setting) = 0;
    [[nodiscard]] virtual int DL_AutoLoadROMFiles(DL_HANDLE_T dl) = 0;
    [[nodiscard]] virtual int DL_GetBMTPoolAddress(DL_HANDLE_T dl, unsigned int* address) = 0;

    // True when the library file is intact and signed by the maker.
    [[nodiscard]] virtual bool VerifyIntegrity() = 0;
    // Finds the three extended operations by name; false when one is missing.
    [[nodiscard]] virtual bool BindExtendedFunctions() = 0;
    // Extended operations; kBromUnavailable before a successful BindExtendedFunctions.
    [[nodiscard]] virtual int DL_GetCount_Ex(DL_HANDLE_T dl, unsigned short* count) = 0;
    [[nodiscard]] virtual int DL_Rom_GetInfoAll_Ex(DL_HANDLE_T dl, BROM_ROM_INFO* info, unsigned short capacity) = 0;
    [[nodiscard]] virtual int DL_Rom_SetEnableAttr_Ex(DL_HANDLE_T dl, unsigned short index, int enable) = 0;
};

// brom.dll in the program folder, for the whole process.
IDownloadLibrary& DownloadLibrary();

}  // namespace TVSP
