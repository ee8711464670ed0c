// The download library's exports and records as the tool binds them (our brom.dll stand-in implements them).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

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

// ---------------------------------------------------------------------------------------------
// Download operations. Every failure is a positive result (the tool shows results above 0 as a
// failed download); 0 is success. docs/brom.md tells which operation gives which result.
enum BROM_RESULT : int {
    BROM_OK = 0,
    BROM_INVALID_ARGUMENT = 1001,     // a required pointer was null, or a value out of its range
    BROM_INVALID_HANDLE = 1002,       // not a live handle of the expected kind
    BROM_FILE_OPEN_FAILED = 1003,     // a file could not be opened (missing, a folder, no access)
    BROM_FILE_READ_FAILED = 1004,     // reading failed, or the file is larger than its format allows
    BROM_ROM_SETTING_INVALID = 1005,  // the .cfg text breaks its format
    BROM_ROM_PATH_ESCAPES = 1006,     // an image path is absolute or climbs out of the .cfg folder
    BROM_ROM_TOO_MANY_REGIONS = 1007, // more than 35 regions
    BROM_ROM_IMAGE_TOO_LARGE = 1008,  // an image above 64 MiB
    BROM_ROM_IMAGE_EMPTY = 1009,      // an image of 0 bytes
    BROM_ROM_NOT_LOADED = 1010,       // the operation needs ROM entries or loaded images first
    BROM_REGION_INDEX_INVALID = 1011, // region index not below the region count
    BROM_BUFFER_TOO_SMALL = 1012,     // fewer information entries than regions (the first ones are written)
    BROM_DA_INVALID = 1013,           // the agent file breaks its format or checksum
    BROM_DA_NOT_LOADED = 1014,        // the connect record names no DA handle with a loaded agent
    BROM_PORT_OPEN_FAILED = 1015,     // \\.\COMn could not be opened (absent, or in use)
    BROM_PORT_SETUP_FAILED = 1016,    // line settings or time-outs refused
    BROM_HANDSHAKE_FAILED = 1017,     // no correct handshake in 100 attempts
    BROM_STOPPED = 1018,              // the stop flag was raised
    BROM_LINK_TIMEOUT = 1019,         // the watch did not answer in time
    BROM_LINK_WRITE_FAILED = 1020,    // reading or writing the port failed (the watch went away)
    BROM_LINK_PROTOCOL_ERROR = 1021,  // an answer that is not a well-formed ACK
    BROM_LINK_CHECKSUM_RETRIES = 1022,// status 1 after the third resend
    BROM_WATCH_BAD_REQUEST = 1023,    // status 2
    BROM_WATCH_FLASH_ERROR = 1024,    // status 3 (also a region whose checksum the watch rejects)
    BROM_NO_REGION_ENABLED = 1025,    // every region disabled: nothing to write
    BROM_ROM_REGIONS_OVERLAP = 1026,  // two enabled regions share flash addresses
    BROM_PATH_TOO_LONG = 1027,        // a path does not fit its record field
    BROM_OUT_OF_MEMORY = 1028,
};

// Opaque library objects.
typedef void* DL_HANDLE_T;
typedef void* DA_HANDLE_T;
typedef void* DL_LIST_HANDLE_T;
typedef void* FLASHTOOL_HANDLE_T;

// Callbacks, named by their argument count. Arguments are 32-bit in the release build and
// pointer-wide in the 64-bit one; the last argument is the context the record pairs with the
// callback. Callees pop their arguments (stdcall on x86), so the counts must match exactly.
typedef int(WINAPI* BROM_CALLBACK1)(std::uintptr_t context);
typedef int(WINAPI* BROM_CALLBACK2)(std::uintptr_t a, std::uintptr_t context);
typedef int(WINAPI* BROM_CALLBACK3)(std::uintptr_t a, std::uintptr_t b, std::uintptr_t context);
typedef int(WINAPI* BROM_CALLBACK4)(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uintptr_t context);
typedef int(WINAPI* BROM_CALLBACK5)(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uintptr_t d,
                                    std::uintptr_t context);

// ROM-setting buffer: filled by GetROMSetting from a .cfg, read by DL_CreateROMEntries. The tool
// only zeroes it; the layout is the library's (texts UTF-8, zero-terminated).
struct BROM_ROM_SETTING_REGION {
    char name[32];
    char file[512];                  // relative to the .cfg folder, '/' or '\' separated
    unsigned long long address;
};
struct BROM_ROM_SETTING {
    unsigned int magic;              // 'TVRS' once filled
    unsigned int regionCount;        // 1..35
    char romsetName[128];
    char folder[1024];               // the .cfg folder, absolute
    BROM_ROM_SETTING_REGION regions[35];
    unsigned char reserved[130576 - 1160 - 35 * 552];
};

// External-memory setting inside the connect record: the stand-in's ROM sets have none; the
// area is zeroed by GetExternalMemorySetting.
struct BROM_EXTERNAL_MEMORY_SETTING {
    unsigned int words[56960 / 4];
};

// Connect argument record: the inner part starts at offset 8. Offsets in the comments are the
// 32-bit ones; in the 64-bit build each pointer is 8 bytes and aligned to 8 (asserted below).
struct BROM_CONNECT_INNER {
    unsigned int value0;             // +0   254
    unsigned int value4;             // +4   254
    unsigned int value8;             // +8   0x0FFFFFFF
    unsigned int value12;            // +12  1
    BROM_CALLBACK2 callbackA;        // +16  (serial handle, context) once the port is open
    void* contextA;                  // +20
    BROM_CALLBACK3 callbackB;        // +24  (handshake attempts, 0, context) after the handshake
    void* contextB;                  // +28  (the tool: connect result record + 4)
    unsigned int value32;            // +32  1
    unsigned int zero36[5];          // +36..+55
    void* context56;                 // +56
    unsigned int value60;            // +60
    void* context64;                 // +64
    unsigned int zero68[5];          // +68..+87
    DA_HANDLE_T daHandle;            // +88  the loaded agent to send
    BROM_CALLBACK1 callbackC;        // +92  (context) before the agent is sent
    void* contextC;                  // +96
    BROM_CALLBACK4 callbackD;        // +100 (percent, bytes sent, agent bytes, context)
    void* contextD;                  // +104
    unsigned int value108;           // +108 1
    unsigned int value112;           // +112 0
    BROM_EXTERNAL_MEMORY_SETTING externalMemory;  // +116
    unsigned int value57076;         // +57076 0
    unsigned int value57080;         // +57080 0
    unsigned int value57084;         // +57084 1
    unsigned int zero57088[2];       // +57088..+57095
};
struct BROM_CONNECT_ARGS {
    unsigned int value0;             // 0   0x0FFFFFFF
    unsigned int value4;             // 4   0x0FFFFFFF
    BROM_CONNECT_INNER inner;        // 8
    BROM_CALLBACK1 callbackE;        // 57104 (context) once the agent runs
    void* contextE;                  // 57108
    unsigned int value57112;         // 57112 0
    unsigned int value57116;         // 57116 8
    unsigned int zero57120[4];       // 57120..57135
    unsigned int bmtPoolAddress;     // 57136 filled by DL_GetBMTPoolAddress
    unsigned int zero57140[2];       // 57140..57147
};

// Connect result record (no pointers: one layout for both builds). Filled on success.
struct BROM_CONNECT_RESULT {
    unsigned int comPort;            // +0
    unsigned int handshakeAttempts;  // +4  1 when the first attempt succeeded
    unsigned int agentVersion;       // +8
    unsigned int agentBytes;         // +12 size of the agent file sent
    unsigned int reserved[(1012 - 16) / 4];
};

// Download argument record. Offsets are the 32-bit ones; each callback is followed by its context.
struct BROM_DOWNLOAD_ARGS {
    DL_HANDLE_T dlHandle;            // +0   the regions to write
    unsigned int value4;             // +4
    BROM_CALLBACK2 callback8;        // +8   (enabled regions, context) when writing starts
    void* context8;                  // +12
    unsigned int value16;            // +16
    BROM_CALLBACK1 callback20;       // +20  (context) when every region is written
    void* context20;                 // +24
    BROM_CALLBACK4 callback28;       // +28  (percent, bytes written, bytes to write, context)
    void* context28;                 // +32
    BROM_CALLBACK1 callback36;       // +36  not called by the stand-in
    void* context36;                 // +40
    BROM_CALLBACK4 callback44;       // +44  not called
    void* context44;                 // +48
    BROM_CALLBACK1 callback52;       // +52  not called
    void* context52;                 // +56
    BROM_CALLBACK4 callback60;       // +60  (percent, regions confirmed, regions, context)
    void* context60;                 // +64
    BROM_CALLBACK1 callback68;       // +68  not called
    void* context68;                 // +72
    unsigned int value76;            // +76
    void* context80;                 // +80  context without callback
    BROM_CALLBACK1 callback84;       // +84  not called
    void* context84;                 // +88
    BROM_CALLBACK4 callback92;       // +92  not called
    void* context92;                 // +96
    BROM_CALLBACK5 callback100;      // +100 not called
    void* context100;                // +104
    BROM_CALLBACK4 callback108;      // +108 not called
    void* context108;                // +112
    BROM_CALLBACK1 callback116;      // +116 not called
    void* context116;                // +120
    BROM_CALLBACK4 callback124;      // +124 (percent, regions summed, regions, context)
    void* context124;                // +128
    BROM_CALLBACK1 callback132;      // +132 not called
    void* context132;                // +136
    BROM_CALLBACK1 callback140;      // +140 not called
    void* context140;                // +144
    unsigned int value148;           // +148 1
    unsigned int value152;           // +152 1
    unsigned int value156;           // +156
    unsigned int value160;           // +160
    unsigned int zero164[47];        // +164..+351
    unsigned int value352;           // +352
    BROM_CALLBACK1 callback356;      // +356 not called
    void* context356;                // +360
    BROM_CALLBACK2 callback364;      // +364 (percent, context) while region addresses are checked
    void* context364;                // +368
    unsigned int value372;           // +372 1
    unsigned int value376;           // +376
    unsigned int value380;           // +380
    unsigned int value384;           // +384
};

// Download result record (one layout for both builds). Filled on success and on failure.
struct BROM_DOWNLOAD_RESULT {
    unsigned int regionsWritten;
    unsigned int bytesWritten;       // low 32 bits
    unsigned int resends;            // frames sent again after status 1
};

// One entry of DL_Rom_GetInfoAll_Ex's array (one layout for both builds).
struct BROM_ROM_INFO {
    unsigned int index;              // +0
    unsigned int enabled;            // +4   1 or 0
    char name[128];                  // +8   zero-terminated
    unsigned long long address;      // +136
    unsigned long long length;       // +144 image bytes (0 before DL_AutoLoadROMFiles)
    char file[260];                  // +152 as the .cfg names it, zero-terminated, cut at 259 bytes
    unsigned char reserved[260];     // +412
};

int WINAPI DL_Create(DL_HANDLE_T* dl);
int WINAPI DL_Destroy(DL_HANDLE_T* dl);
int WINAPI DL_Rom_UnloadAll(DL_HANDLE_T dl);
int WINAPI DA_Create(DA_HANDLE_T* da);
int WINAPI DA_Destroy(DA_HANDLE_T* da);
int WINAPI DA_Load(DA_HANDLE_T da, const char* path, int verify);
int WINAPI DA_Unload(DA_HANDLE_T da);
int WINAPI DL_CreateList(DL_LIST_HANDLE_T* list);
int WINAPI DL_DestroyList(DL_LIST_HANDLE_T* list);
int WINAPI FlashTool_Connect(unsigned char port, BROM_CONNECT_ARGS* args, BROM_CONNECT_RESULT* result,
                             int* stopFlag, FLASHTOOL_HANDLE_T* handle);
int WINAPI FlashTool_Disconnect(FLASHTOOL_HANDLE_T* handle, int reserved1, int reserved2);
int WINAPI FlashTool_EnableWatchDogTimeout(FLASHTOOL_HANDLE_T handle, unsigned int milliseconds,
                                           int reserved1, int reserved2);
int WINAPI FlashTool_Download(FLASHTOOL_HANDLE_T handle, BROM_DOWNLOAD_ARGS* args, BROM_DOWNLOAD_RESULT* result);
int WINAPI GetROMSetting(const char* cfgPath, BROM_ROM_SETTING* setting, int reserved);
int WINAPI GetExternalMemorySetting(const char* cfgPath, BROM_EXTERNAL_MEMORY_SETTING* setting, int reserved);
int WINAPI DL_CreateROMEntries(DL_HANDLE_T dl, const BROM_ROM_SETTING* setting);
int WINAPI DL_AutoLoadROMFiles(DL_HANDLE_T dl);
int WINAPI DL_GetBMTPoolAddress(DL_HANDLE_T dl, unsigned int* address);
int WINAPI DL_GetCount_Ex(DL_HANDLE_T dl, unsigned short* count);
int WINAPI DL_Rom_GetInfoAll_Ex(DL_HANDLE_T dl, BROM_ROM_INFO* info, unsigned short capacity);
int WINAPI DL_Rom_SetEnableAttr_Ex(DL_HANDLE_T dl, unsigned short index, int enable);

}  // extern "C"

namespace brom {

// Export ordinals; the tool binds these by number (the three *_Ex functions by name only).
inline constexpr unsigned short kOrdinalDL_Create = 13;
inline constexpr unsigned short kOrdinalDL_Destroy = 14;
inline constexpr unsigned short kOrdinalDL_Rom_UnloadAll = 24;
inline constexpr unsigned short kOrdinalDA_Create = 25;
inline constexpr unsigned short kOrdinalDA_Destroy = 26;
inline constexpr unsigned short kOrdinalDA_Load = 32;
inline constexpr unsigned short kOrdinalDA_Unload = 33;
inline constexpr unsigned short kOrdinalComPortEnumerate = 49;
inline constexpr unsigned short kOrdinalDL_CreateList = 117;
inline constexpr unsigned short kOrdinalDL_DestroyList = 118;
inline constexpr unsigned short kOrdinalFlashTool_Connect = 145;
inline constexpr unsigned short kOrdinalFlashTool_Disconnect = 147;
inline constexpr unsigned short kOrdinalFlashTool_EnableWatchDogTimeout = 150;
inline constexpr unsigned short kOrdinalFlashTool_Download = 151;
inline constexpr unsigned short kOrdinalGetROMSetting = 211;
inline constexpr unsigned short kOrdinalGetExternalMemorySetting = 212;
inline constexpr unsigned short kOrdinalDL_CreateROMEntries = 213;
inline constexpr unsigned short kOrdinalDL_AutoLoadROMFiles = 214;
inline constexpr unsigned short kOrdinalComPortEnumerateWithFilterHardwareID = 245;
inline constexpr unsigned short kOrdinalDL_GetBMTPoolAddress = 269;

inline constexpr unsigned short kRomInfoEntries = 35;

using ComPortEnumerateFn = int(WINAPI*)(unsigned short*, unsigned short*);
using ComPortEnumerateWithFilterHardwareIDFn = int(WINAPI*)(unsigned short*, unsigned short*,
                                                            const COM_PORT_FILTER*);

}  // namespace brom

// Layouts. The vendor's 32-bit library reads these records, so the 32-bit offsets are fixed; the
// 64-bit build widens each pointer to 8 bytes at 8-byte alignment and is asserted as well, so
// both sides of a 64-bit test build agree.
#define BROM_OFFSET(record, field, at32, at64) \
    static_assert(offsetof(record, field) == (sizeof(void*) == 4 ? (at32) : (at64)))
#define BROM_SIZE(record, size32, size64) static_assert(sizeof(record) == (sizeof(void*) == 4 ? (size32) : (size64)))

BROM_SIZE(COM_PORT_FILTER, 8, 16);
BROM_OFFSET(COM_PORT_FILTER, count, 0, 0);
BROM_OFFSET(COM_PORT_FILTER, hardwareIds, 4, 8);

BROM_SIZE(BROM_ROM_SETTING, 130576, 130576);
BROM_SIZE(BROM_ROM_SETTING_REGION, 552, 552);
BROM_OFFSET(BROM_ROM_SETTING, regions, 1160, 1160);
BROM_SIZE(BROM_EXTERNAL_MEMORY_SETTING, 56960, 56960);

BROM_SIZE(BROM_CONNECT_INNER, 57096, 57152);
BROM_OFFSET(BROM_CONNECT_INNER, value0, 0, 0);
BROM_OFFSET(BROM_CONNECT_INNER, value4, 4, 4);
BROM_OFFSET(BROM_CONNECT_INNER, value8, 8, 8);
BROM_OFFSET(BROM_CONNECT_INNER, value12, 12, 12);
BROM_OFFSET(BROM_CONNECT_INNER, callbackA, 16, 16);
BROM_OFFSET(BROM_CONNECT_INNER, contextA, 20, 24);
BROM_OFFSET(BROM_CONNECT_INNER, callbackB, 24, 32);
BROM_OFFSET(BROM_CONNECT_INNER, contextB, 28, 40);
BROM_OFFSET(BROM_CONNECT_INNER, value32, 32, 48);
BROM_OFFSET(BROM_CONNECT_INNER, zero36, 36, 52);
BROM_OFFSET(BROM_CONNECT_INNER, context56, 56, 72);
BROM_OFFSET(BROM_CONNECT_INNER, value60, 60, 80);
BROM_OFFSET(BROM_CONNECT_INNER, context64, 64, 88);
BROM_OFFSET(BROM_CONNECT_INNER, zero68, 68, 96);
BROM_OFFSET(BROM_CONNECT_INNER, daHandle, 88, 120);
BROM_OFFSET(BROM_CONNECT_INNER, callbackC, 92, 128);
BROM_OFFSET(BROM_CONNECT_INNER, contextC, 96, 136);
BROM_OFFSET(BROM_CONNECT_INNER, callbackD, 100, 144);
BROM_OFFSET(BROM_CONNECT_INNER, contextD, 104, 152);
BROM_OFFSET(BROM_CONNECT_INNER, value108, 108, 160);
BROM_OFFSET(BROM_CONNECT_INNER, value112, 112, 164);
BROM_OFFSET(BROM_CONNECT_INNER, externalMemory, 116, 168);
BROM_OFFSET(BROM_CONNECT_INNER, value57076, 57076, 57128);
BROM_OFFSET(BROM_CONNECT_INNER, value57080, 57080, 57132);
BROM_OFFSET(BROM_CONNECT_INNER, value57084, 57084, 57136);

BROM_SIZE(BROM_CONNECT_ARGS, 57148, 57216);
BROM_OFFSET(BROM_CONNECT_ARGS, value0, 0, 0);
BROM_OFFSET(BROM_CONNECT_ARGS, value4, 4, 4);
BROM_OFFSET(BROM_CONNECT_ARGS, inner, 8, 8);
BROM_OFFSET(BROM_CONNECT_ARGS, callbackE, 57104, 57160);
BROM_OFFSET(BROM_CONNECT_ARGS, contextE, 57108, 57168);
BROM_OFFSET(BROM_CONNECT_ARGS, value57112, 57112, 57176);
BROM_OFFSET(BROM_CONNECT_ARGS, value57116, 57116, 57180);
BROM_OFFSET(BROM_CONNECT_ARGS, zero57120, 57120, 57184);
BROM_OFFSET(BROM_CONNECT_ARGS, bmtPoolAddress, 57136, 57200);

BROM_SIZE(BROM_CONNECT_RESULT, 1012, 1012);
BROM_OFFSET(BROM_CONNECT_RESULT, handshakeAttempts, 4, 4);

BROM_SIZE(BROM_DOWNLOAD_ARGS, 388, 552);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, dlHandle, 0, 0);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, value4, 4, 8);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback8, 8, 16);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context8, 12, 24);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, value16, 16, 32);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback20, 20, 40);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context20, 24, 48);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback28, 28, 56);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context28, 32, 64);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback36, 36, 72);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context36, 40, 80);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback44, 44, 88);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context44, 48, 96);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback52, 52, 104);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context52, 56, 112);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback60, 60, 120);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context60, 64, 128);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback68, 68, 136);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context68, 72, 144);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, value76, 76, 152);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context80, 80, 160);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback84, 84, 168);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context84, 88, 176);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback92, 92, 184);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context92, 96, 192);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback100, 100, 200);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context100, 104, 208);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback108, 108, 216);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context108, 112, 224);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback116, 116, 232);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context116, 120, 240);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback124, 124, 248);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context124, 128, 256);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback132, 132, 264);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context132, 136, 272);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback140, 140, 280);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context140, 144, 288);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, value148, 148, 296);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, value152, 152, 300);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, value156, 156, 304);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, value160, 160, 308);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, value352, 352, 500);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback356, 356, 504);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context356, 360, 512);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, callback364, 364, 520);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, context364, 368, 528);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, value372, 372, 536);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, value376, 376, 540);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, value380, 380, 544);
BROM_OFFSET(BROM_DOWNLOAD_ARGS, value384, 384, 548);

BROM_SIZE(BROM_DOWNLOAD_RESULT, 12, 12);

BROM_SIZE(BROM_ROM_INFO, 672, 672);
BROM_OFFSET(BROM_ROM_INFO, name, 8, 8);
BROM_OFFSET(BROM_ROM_INFO, address, 136, 136);

#undef BROM_OFFSET
#undef BROM_SIZE
