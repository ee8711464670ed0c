// The watch's serial AT channel: exclusive opening, line settings, and the command transactions.
#include "engine/at_channel.h"

#include <cstdio>
#include <cstring>

#include "base/win/file_io.h"

namespace TVSP {
namespace {

constexpr DWORD kAllPurges = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// Windows refuses a second no-sharing open of a COM port; Wine does not. This named mutex gives
// the tool's own openings the same guarantee everywhere, so transactions never interleave.
// Empty, with ERROR_SHARING_VIOLATION, when another opening holds it.
unique_mutex_lock LockPortGuard(int portNumber) {
    wchar_t name[64];
    std::swprintf(name, 64, L"TarvoSprout_WatchPort_COM%d", portNumber);
    unique_handle mutex(::CreateMutexW(nullptr, FALSE, name));
    if (!mutex) return {};
    const DWORD wait = ::WaitForSingleObject(mutex.get(), 0);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) return unique_mutex_lock(mutex.release());
    // The mutex is closed on the way out; closing keeps this error.
    ::SetLastError(ERROR_SHARING_VIOLATION);
    return {};
}

}  // namespace

bool WatchPort::Open(int portNumber) {
    if (handle_) {
        ::PurgeComm(handle_.get(), PURGE_TXABORT);
        ::PurgeComm(handle_.get(), PURGE_RXABORT);
        ::PurgeComm(handle_.get(), PURGE_TXCLEAR);
        ::PurgeComm(handle_.get(), PURGE_RXCLEAR);
        handle_.reset();
    }
    guard_.reset();

    char narrowName[50];
    std::snprintf(narrowName, sizeof narrowName, "\\\\.\\COM%d", portNumber);
    wchar_t name[50];
    if (::MultiByteToWideChar(CP_ACP, 0, narrowName, -1, name, 50) == 0) return false;

    guard_ = LockPortGuard(portNumber);
    if (!guard_) return false;

    handle_.reset(::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle_) {
        guard_.reset();  // keeps the open's error
        return false;
    }

    if (!::SetupComm(handle_.get(), kWatchQueueSize, kWatchQueueSize)) return false;
    if (!::PurgeComm(handle_.get(), kAllPurges)) return false;

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 1;
    timeouts.ReadTotalTimeoutConstant = 700;
    timeouts.WriteTotalTimeoutMultiplier = 1;
    timeouts.WriteTotalTimeoutConstant = 700;
    ::SetCommTimeouts(handle_.get(), &timeouts);

    wchar_t settings[32];
    std::swprintf(settings, 32, L"%d,n,8,1", static_cast<int>(kWatchBaudRate));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ::BuildCommDCBW(settings, &dcb);
    ::SetCommState(handle_.get(), &dcb);
    return true;
}

bool WatchPort::Close() {
    if (handle_) {
        ::PurgeComm(handle_.get(), PURGE_TXABORT);
        ::PurgeComm(handle_.get(), PURGE_RXABORT);
        if (!::CancelIo(handle_.get())) return false;
        if (!::CloseHandle(handle_.release())) return false;
    }
    guard_.reset();
    return true;
}

bool WatchPort::WriteOnce(const void* bytes, DWORD count) {
    DWORD written = 0;
    return ::WriteFile(handle_.get(), bytes, count, &written, nullptr) && written == count;
}

bool WatchPort::WriteAll(const void* bytes, std::size_t count) { return WriteFull(handle_.get(), bytes, count); }

DWORD WatchPort::ReadOnce(void* buffer, DWORD capacity) {
    DWORD read = 0;
    if (!::ReadFile(handle_.get(), buffer, capacity, &read, nullptr)) return 0;
    return read;
}

std::optional<std::string> AtTransaction(int portNumber, const AtCommand& command) {
    WatchPort port;
    if (!port.Open(portNumber)) return std::nullopt;
    if (!port.WriteOnce(command.text, static_cast<DWORD>(command.byteCount))) return std::nullopt;
    // One byte beyond the read so a full 1000-byte reply is still a terminated C string.
    char reply[kAtReplyBufferSize + 1] = {};
    const DWORD count = port.ReadOnce(reply, kAtReplyBufferSize);
    // The reply is in; a close that fails cannot change it.
    static_cast<void>(port.Close());
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
    // Nobody waits for an answer, so there is no one to tell of a failed close either.
    static_cast<void>(port.Close());
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
