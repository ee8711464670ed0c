// The watch's serial AT channel: one exclusive port opening per command transaction.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

#include "base/win/handle.h"
#include "engine/at_reply.h"

namespace TVSP {

inline constexpr DWORD kWatchBaudRate = 921600;
inline constexpr DWORD kWatchQueueSize = 8192;
inline constexpr DWORD kAtReplyBufferSize = 1000;

// One opening of "\\.\COMn" for the watch's serial function. Opening refuses a port that another
// opening of this tool holds, also where the platform does not enforce the no-sharing open.
class WatchPort {
public:
    WatchPort() = default;
    WatchPort(const WatchPort&) = delete;
    WatchPort& operator=(const WatchPort&) = delete;
    // A close that fails has nothing left to do for it: the owners release what is still held.
    ~WatchPort() { static_cast<void>(Close()); }

    // Closes an earlier opening first; false when the port is missing, held, or refuses set-up.
    // After a false return past the open itself, the handle stays held until Close.
    [[nodiscard]] bool Open(int portNumber);
    // Aborts and purges pending I/O, then closes; false when cancelling or closing fails.
    [[nodiscard]] bool Close();

    bool IsOpen() const { return static_cast<bool>(handle_); }
    // The open port; INVALID_HANDLE_VALUE while closed.
    HANDLE Handle() const { return handle_.get(); }

    // One WriteFile of exactly count bytes; true when all were written.
    [[nodiscard]] bool WriteOnce(const void* bytes, DWORD count);
    // Every byte, over as many writes as the driver needs; false on an error or a write that took
    // nothing before its time-out.
    [[nodiscard]] bool WriteAll(const void* bytes, std::size_t count);
    // One ReadFile of up to capacity bytes; the count that arrived before the time-out.
    [[nodiscard]] DWORD ReadOnce(void* buffer, DWORD capacity);

private:
    // Declared first so the port is closed before the guard is given up.
    unique_mutex_lock guard_;  // per-port mutex owned while open
    unique_hfile handle_;
};

// The raw reply of one transaction: open, one write, one read of up to 1000 bytes, close.
// nullopt when the port could not be opened or the command not written.
[[nodiscard]] std::optional<std::string> AtTransaction(int portNumber, const AtCommand& command);

// The operations; every failure is an empty or false result, never a message.
[[nodiscard]] std::string ReadFirmwareVersion(int portNumber);
[[nodiscard]] std::string ReadImei(int portNumber);
[[nodiscard]] bool TestStart(int portNumber);
[[nodiscard]] bool TestStartEchoed(int portNumber);
[[nodiscard]] bool Ping(int portNumber);
[[nodiscard]] bool SaveDataOnWatch(int portNumber);
[[nodiscard]] bool RestoreDataOnWatch(int portNumber);
[[nodiscard]] bool StartFlashWatchdog(int portNumber);
// Write only: the watch drops the port instead of answering.
void RebootWatch(int portNumber);
void PowerOffWatch(int portNumber);

}  // namespace TVSP
