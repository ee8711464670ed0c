// The watch's serial AT channel: exclusive opening, line settings, and the command transactions.
#include "engine/at_channel.h"

#include <cstdio>
#include <cstring>

namespace TVSP {
namespace {

constexpr DWORD kAllPurges = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// Line settings shared by every opening, as the watch expects them.
DCB& SharedLineSettings() {
    static DCB dcb{};
    return dcb;
}

// Windows refuses a second no-sharing open of a COM port; Wine does not. This named mutex gives
// the tool's own openings the same guarantee everywhere, so transactions never interleave.
HANDLE TryLockPortGuard(int portNumber) {
    wchar_t name[64];
    std::swprintf(name, 64, L"TarvoSprout_WatchPort_COM%d", portNumber);
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name);
    if (!mutex) return nullptr;
    const DWORD wait = ::WaitForSingleObject(mutex, 0);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) return mutex;
    ::CloseHandle(mutex);
    ::SetLastError(ERROR_SHARING_VIOLATION);
    return nullptr;
}

void ReleasePortGuard(HANDLE& guard) {
    if (!guard) return;
    ::ReleaseMutex(guard);
    ::CloseHandle(guard);
    guard = nullptr;
}

}  // namespace

bool WatchPort::Open(int portNumber) {
    if (handle_) {
        ::PurgeComm(handle_, PURGE_TXABORT);
        ::PurgeComm(handle_, PURGE_RXABORT);
        ::PurgeComm(handle_, PURGE_TXCLEAR);
        ::PurgeComm(handle_, PURGE_RXCLEAR);
        ::CloseHandle(handle_);
        handle_ = nullptr;
    }
    ReleasePortGuard(guard_);

    char narrowName[50];
    std::snprintf(narrowName, sizeof narrowName, "\\\\.\\COM%d", portNumber);
    wchar_t name[50];
    if (::MultiByteToWideChar(CP_ACP, 0, narrowName, -1, name, 50) == 0) return false;

    guard_ = TryLockPortGuard(portNumber);
    if (!guard_) return false;

    HANDLE h = ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        ReleasePortGuard(guard_);
        ::SetLastError(error);
        return false;
    }
    handle_ = h;

    if (!::SetupComm(handle_, kWatchQueueSize, kWatchQueueSize)) return false;
    if (!::PurgeComm(handle_, kAllPurges)) return false;

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 1;
    timeouts.ReadTotalTimeoutConstant = 700;
    timeouts.WriteTotalTimeoutMultiplier = 1;
    timeouts.WriteTotalTimeoutConstant = 700;
    ::SetCommTimeouts(handle_, &timeouts);

    wchar_t settings[32];
    std::swprintf(settings, 32, L"%d,n,8,1", static_cast<int>(kWatchBaudRate));
    DCB& dcb = SharedLineSettings();
    dcb.DCBlength = sizeof dcb;
    ::BuildCommDCBW(settings, &dcb);
    ::SetCommState(handle_, &dcb);
    return true;
}

bool WatchPort::Close() {
    if (!handle_) {
        ReleasePortGuard(guard_);
        return true;
    }
    if (handle_ != INVALID_HANDLE_VALUE) {
        ::PurgeComm(handle_, PURGE_TXABORT);
        ::PurgeComm(handle_, PURGE_RXABORT);
        if (!::CancelIo(handle_)) return false;
        if (!::CloseHandle(handle_)) return false;
    }
    handle_ = nullptr;
    ReleasePortGuard(guard_);
    return true;
}

bool WatchPort::WriteOnce(const void* bytes, DWORD count) {
    DWORD written = 0;
    return ::WriteFile(handle_, bytes, count, &written, nullptr) && written == count;
}

DWORD WatchPort::ReadOnce(void* buffer, DWORD capacity) {
    DWORD read = 0;
    if (!::ReadFile(handle_, buffer, capacity, &read, nullptr)) return 0;
    return read;
}

std::optional<std::string> AtTransaction(int portNumber, const AtCommand& command) {
    WatchPort port;
    if (!port.Open(portNumber)) return std::nullopt;
    if (!port.WriteOnce(command.text, static_cast<DWORD>(command.byteCount))) return std::nullopt;
    // One byte beyond the read so a full 1000-byte reply is still a terminated C string.
    char reply[kAtReplyBufferSize + 1] = {};
    const DWORD count = port.ReadOnce(reply, kAtReplyBufferSize);
    port.Close();
    return std::string(ReplyAsCString(reply, count));
}

namespace {

template <typename Judge>
bool JudgedTransaction(int portNumber, const AtCommand& command, Judge judge) {
    const auto reply = AtTransaction(portNumber, command);
    return reply && judge(*reply);
}

// Time the watch gets to take a command nobody waits an answer for, before the closing purge.
constexpr DWORD kWriteOnlySettleMs = 100;

void WriteOnlyTransaction(int portNumber, const AtCommand& command) {
    WatchPort port;
    if (!port.Open(portNumber)) return;
    if (port.WriteOnce(command.text, static_cast<DWORD>(command.byteCount))) {
        // Some serial drivers (Wine's among them) discard output the device has not read yet when
        // the port is purged on closing; the reboot must not be lost that way.
        ::Sleep(kWriteOnlySettleMs);
    }
    port.Close();
}

}  // namespace

std::string ReadFirmwareVersion(int portNumber) {
    const auto reply = AtTransaction(portNumber, kAtReadFirmwareVersion);
    if (!reply) return {};
    return JudgeFirmwareVersionReply(*reply).value_or(std::string());
}

std::string ReadImei(int portNumber) {
    const auto reply = AtTransaction(portNumber, kAtReadImei);
    return reply ? JudgeImeiReply(*reply) : std::string();
}

bool TestStart(int portNumber) { return JudgedTransaction(portNumber, kAtTestStart, JudgeTestStartReply); }
bool TestStartEchoed(int portNumber) {
    return JudgedTransaction(portNumber, kAtTestStart, JudgeTestStartEchoedReply);
}
bool Ping(int portNumber) { return JudgedTransaction(portNumber, kAtPing, JudgeOkReply); }
bool SaveDataOnWatch(int portNumber) { return JudgedTransaction(portNumber, kAtSaveDataOnWatch, JudgeOkReply); }
bool RestoreDataOnWatch(int portNumber) {
    return JudgedTransaction(portNumber, kAtRestoreDataOnWatch, JudgeOkReply);
}
bool StartFlashWatchdog(int portNumber) {
    return JudgedTransaction(portNumber, kAtStartFlashWatchdog, JudgeFlashWatchdogReply);
}
void RebootWatch(int portNumber) { WriteOnlyTransaction(portNumber, kAtReboot); }
void PowerOffWatch(int portNumber) { WriteOnlyTransaction(portNumber, kAtPowerOff); }

}  // namespace TVSP
