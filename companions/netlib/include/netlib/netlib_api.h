// The maker's network library TarvoNetUL.dll as the tool binds it: exports, task objects and the result record.
#pragma once

#include <cstddef>
#include <cstdint>

// Virtual operations are __stdcall on every build: on x86 MinGW and the usual Windows C++
// compilers then agree on who pops the arguments (thiscall is a compiler default, stdcall is
// fixed), and on x64 there is one convention anyway. The classes have no virtual destructor,
// because compilers lay that slot out differently; objects end through Release() instead.
#define NETLIB_METHOD __stdcall

// The exports are plain C functions in the default C convention (cdecl), as zlib's own are.
#define NETLIB_EXPORT __cdecl

class NetTask;

// Outcome of a task, as NetTaskResult::status.
enum NetTaskStatus : std::int32_t {
    kNetTaskSucceeded = 2,  // HTTP 200 and the whole body read
    kNetTaskFailed = 3,     // anything else; the body is then empty
};

// Largest reply body a task accepts: a longer one fails the task.
inline constexpr std::uint32_t kNetTaskMaxBody = 16u * 1024u * 1024u;

// What the receiver is handed; valid only for the duration of OnTaskComplete.
struct NetTaskResult {
    std::uint32_t size;         // 0: sizeof(NetTaskResult)
    std::int32_t status;        // 4: NetTaskStatus
    std::int32_t httpStatus;    // 8: the server's status code, 0 when no response came
    std::uint32_t systemError;  // 12: the WinHTTP/Win32 error that failed the task, or 0
    const char* body;           // 16: reply body, NUL-terminated narrow text; "" on failure, never null
    std::uint32_t bodyLength;   // 20 (32-bit) / 24 (64-bit): bytes in body before the terminator
};
// The tool reads status and body at fixed offsets on both builds.
static_assert(offsetof(NetTaskResult, status) == 4);
static_assert(offsetof(NetTaskResult, body) == 16);
static_assert(sizeof(void*) == 4 ? sizeof(NetTaskResult) == 24 : sizeof(NetTaskResult) == 32);

// The tool's side of a task.
class IHttpTaskCallback {
public:
    // Called once, on a thread of the library, when the request ends; never after task->Release().
    // The receiver may call task->Release() from here.
    virtual void NETLIB_METHOD OnTaskComplete(NetTask* task, const NetTaskResult* result) = 0;

protected:
    ~IHttpTaskCallback() = default;
};

// One HTTP GET. Slots in this order.
class NetTask {
public:
    // Slot 0: who gets OnTaskComplete (null: nobody). Set it before Start.
    virtual void NETLIB_METHOD SetReceiver(IHttpTaskCallback* receiver) = 0;
    // Slot 1: starts the request on a thread of the library and returns at once. zero: pass 0.
    // url: http:// or https:// (copied). Nonzero when the request runs; 0 when it could not start
    // (no URL, started before, released, no thread), and then the receiver is never called.
    virtual int NETLIB_METHOD Start(int zero, const wchar_t* url) = 0;
    // Slot 2: present for the table's shape, unused.
    virtual void NETLIB_METHOD Reserved() = 0;
    // Slot 3: the caller's reference ends. A running request keeps the task alive until its thread
    // ends but no longer calls the receiver; a call in progress on another thread is waited for.
    virtual void NETLIB_METHOD Release() = 0;

protected:
    ~NetTask() = default;
};

// The library's service: one per HttpInit, the same one until HttpUninit.
class NetService {
public:
    // Slot 0: a new task (the caller releases it), or null.
    virtual NetTask* NETLIB_METHOD CreateTask() = 0;

protected:
    ~NetService() = default;
};

// zlib's result codes the exports give.
inline constexpr int kNetZlibOk = 0;
inline constexpr int kNetZlibDataError = -3;
inline constexpr int kNetZlibMemoryError = -4;
inline constexpr int kNetZlibBufferError = -5;

extern "C" {

// The service, made on the first call; the same one on later calls until HttpUninit.
NetService* NETLIB_EXPORT HttpInit();
// Ends the service HttpInit gave (another pointer is ignored). Running tasks finish on their own.
void NETLIB_EXPORT HttpUninit(NetService* service);

// zlib's uncompress, compress and compressBound (uLong is 32-bit on Windows).
int NETLIB_EXPORT zlib_uncompress(unsigned char* dest, unsigned long* destLen, const unsigned char* source,
                                  unsigned long sourceLen);
int NETLIB_EXPORT zlib_compress(unsigned char* dest, unsigned long* destLen, const unsigned char* source,
                                unsigned long sourceLen);
unsigned long NETLIB_EXPORT zlib_compressBound(unsigned long sourceLen);

}  // extern "C"

// Pointer types for binding the exports by name.
using HttpInitFn = decltype(&HttpInit);
using HttpUninitFn = decltype(&HttpUninit);
using ZlibUncompressFn = decltype(&zlib_uncompress);
using ZlibCompressFn = decltype(&zlib_compress);
using ZlibCompressBoundFn = decltype(&zlib_compressBound);
