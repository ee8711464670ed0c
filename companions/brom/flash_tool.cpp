// brom.dll stand-in: FlashTool_* — the download protocol with the watch over its download port.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "brom/brom_api.h"
#include "companions/brom/core/agent_file.h"
#include "companions/brom/core/link_settings.h"
#include "companions/brom/core/wire.h"
#include "companions/brom/library_objects.h"

namespace {

using namespace brom;

constexpr DWORD kHandshakeByteTimeoutMs = 200;
constexpr DWORD kAckTimeoutMs = 10000;
constexpr DWORD kDisconnectAckTimeoutMs = 1000;
constexpr int kMaxResends = 3;
constexpr DWORD kReadSliceMs = 50;  // how often a wait looks at the stop flag

// brom.ini beside this library (not beside the program that loaded it), read at each connect so
// a changed file needs no restart of the tool.
LinkSettings ReadLinkSettings() {
    HMODULE self = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&ReadLinkSettings), &self)) {
        return LinkSettings{};
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return LinkSettings{};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return LinkSettings{};
        path.resize(path.size() * 2);
    }
    path.erase(path.find_last_of(L'\\') + 1);
    path += L"brom.ini";
    // Read as text so a value beyond an int is refused rather than wrapped by the reader.
    const auto number = [&](const wchar_t* key) -> long long {
        wchar_t text[32] = {};
        ::GetPrivateProfileStringW(L"link", key, L"", text, static_cast<DWORD>(std::size(text)), path.c_str());
        wchar_t* end = nullptr;
        const long long value = std::wcstoll(text, &end, 10);
        return end != text && *end == L'\0' ? value : 0;
    };
    return LinkSettingsFrom(number(L"baud_rate"), number(L"handshake_attempts"));
}

bool Stopped(const int* stopFlag) {
    return stopFlag != nullptr && *static_cast<const volatile int*>(stopFlag) != 0;
}

// One open download port: raw bytes and acknowledged frames.
class Link {
public:
    Link(HANDLE port, int* stopFlag) : port_(port), stopFlag_(stopFlag) {}

    int Handshake(unsigned int& attempts, int maxAttempts) {
        const auto limit = static_cast<unsigned int>(maxAttempts);
        for (attempts = 1; attempts <= limit; ++attempts) {
            if (Stopped(stopFlag_)) return BROM_STOPPED;
            ::PurgeComm(port_, PURGE_RXCLEAR);
            bool ok = true;
            for (std::uint8_t byte : kHandshake) {
                if (const int r = Write(&byte, 1); r != BROM_OK) return r;
                std::uint8_t answer = 0;
                const int r = Read(&answer, 1, kHandshakeByteTimeoutMs);
                if (r == BROM_STOPPED) return r;
                if (r != BROM_OK || answer != static_cast<std::uint8_t>(~byte)) {
                    ok = false;
                    break;
                }
            }
            if (ok) return BROM_OK;
        }
        attempts = limit;
        return BROM_HANDSHAKE_FAILED;
    }

    // Sends a frame and waits for its ACK; status 1 sends the same frame again, at most 3 times.
    int Transact(std::uint8_t type, const std::vector<std::uint8_t>& payload, DWORD timeoutMs,
                 unsigned int* resends = nullptr) {
        const std::vector<std::uint8_t> frame = EncodeFrame(type, payload.data(), payload.size());
        if (frame.empty()) return BROM_INVALID_ARGUMENT;
        for (int send = 0;; ++send) {
            if (Stopped(stopFlag_)) return BROM_STOPPED;
            if (const int r = Write(frame.data(), frame.size()); r != BROM_OK) return r;
            std::uint8_t status = 0;
            if (const int r = ReadAck(status, timeoutMs); r != BROM_OK) return r;
            switch (status) {
                case kAckOk: return BROM_OK;
                case kAckChecksum:
                    if (send == kMaxResends) return BROM_LINK_CHECKSUM_RETRIES;
                    if (resends != nullptr) ++*resends;
                    continue;
                case kAckBadRequest: return BROM_WATCH_BAD_REQUEST;
                case kAckFlashError: return BROM_WATCH_FLASH_ERROR;
                default: return BROM_LINK_PROTOCOL_ERROR;
            }
        }
    }

private:
    int Write(const std::uint8_t* data, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            DWORD wrote = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 20));
            if (!::WriteFile(port_, data + done, want, &wrote, nullptr) || wrote == 0) return BROM_LINK_WRITE_FAILED;
            done += wrote;
        }
        return BROM_OK;
    }

    // Exactly `size` bytes within the time limit.
    int Read(std::uint8_t* data, std::size_t size, DWORD timeoutMs) {
        const DWORD start = ::GetTickCount();
        std::size_t done = 0;
        while (done < size) {
            if (Stopped(stopFlag_)) return BROM_STOPPED;
            DWORD got = 0;
            if (!::ReadFile(port_, data + done, static_cast<DWORD>(size - done), &got, nullptr))
                return BROM_LINK_WRITE_FAILED;  // the port itself failed: the watch went away
            done += got;
            if (done < size && ::GetTickCount() - start >= timeoutMs) return BROM_LINK_TIMEOUT;
        }
        return BROM_OK;
    }

    int ReadAck(std::uint8_t& status, DWORD timeoutMs) {
        FrameReader reader;
        const DWORD start = ::GetTickCount();
        for (;;) {
            std::vector<std::uint8_t> chunk(std::min<std::size_t>(reader.Wanted(), 4096));
            const DWORD elapsed = ::GetTickCount() - start;
            if (elapsed >= timeoutMs) return BROM_LINK_TIMEOUT;
            // Read returns a timeout after a slice; partial frames stay in the reader.
            DWORD got = 0;
            if (Stopped(stopFlag_)) return BROM_STOPPED;
            if (!::ReadFile(port_, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr))
                return BROM_LINK_WRITE_FAILED;
            for (DWORD i = 0; i < got; ++i) {
                if (auto frame = reader.Push(chunk[i])) {
                    if (frame->type != kFrameAck || frame->payload.size() != 1 || !frame->checksumOk)
                        return BROM_LINK_PROTOCOL_ERROR;
                    status = frame->payload[0];
                    return BROM_OK;
                }
            }
        }
    }

    HANDLE port_;
    int* stopFlag_;
};

int OpenPort(unsigned int comPort, std::uint32_t baudRate, TVSP::unique_hfile& port) {
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(comPort);
    // No sharing: nobody else may talk to the watch while it is being flashed.
    port.reset(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!port) return BROM_PORT_OPEN_FAILED;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port.get(), &dcb)) return BROM_PORT_SETUP_FAILED;
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(port.get(), &dcb)) return BROM_PORT_SETUP_FAILED;
    ::SetupComm(port.get(), 1 << 17, 1 << 17);
    // Reads return what arrived within a slice, so waits can watch the stop flag.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = kReadSliceMs;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 10000;
    if (!::SetCommTimeouts(port.get(), &timeouts)) return BROM_PORT_SETUP_FAILED;
    ::PurgeComm(port.get(), PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
    return BROM_OK;
}

std::uint32_t Percent(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 100u : static_cast<std::uint32_t>(done * 100 / total);
}

}  // namespace

extern "C" {

int WINAPI FlashTool_Connect(unsigned char port, BROM_CONNECT_ARGS* args, BROM_CONNECT_RESULT* result,
                             int* stopFlag, FLASHTOOL_HANDLE_T* handle) {
    return Guarded([&]() -> int {
        if (handle != nullptr) *handle = nullptr;
        if (args == nullptr || result == nullptr || handle == nullptr || port == 0) return BROM_INVALID_ARGUMENT;
        const DownloadAgent* agent = DownloadAgents().Find(args->inner.daHandle);
        if (agent == nullptr || !agent->loaded) return BROM_DA_NOT_LOADED;
        const std::vector<std::uint8_t> agentFile = agent->file;
        const std::uint32_t agentVersion = agent->info.version;
        const BROM_CONNECT_INNER& in = args->inner;

        auto connection = std::make_unique<Connection>();
        connection->stopFlag = stopFlag;
        connection->comPort = port;
        if (Stopped(stopFlag)) return BROM_STOPPED;
        const LinkSettings settings = ReadLinkSettings();
        if (const int r = OpenPort(port, settings.baudRate, connection->port); r != BROM_OK) return r;
        if (in.callbackA) in.callbackA(Arg(connection->port.get()), Arg(in.contextA));

        Link link(connection->port.get(), stopFlag);
        unsigned int attempts = 0;
        if (const int r = link.Handshake(attempts, settings.handshakeAttempts); r != BROM_OK) return r;
        result->comPort = port;
        result->handshakeAttempts = attempts;
        if (in.callbackB) in.callbackB(attempts, 0, Arg(in.contextB));

        const auto total = static_cast<std::uintptr_t>(agentFile.size());
        if (in.callbackC) in.callbackC(Arg(in.contextC));
        if (in.callbackD) in.callbackD(0, 0, total, Arg(in.contextD));
        if (const int r = link.Transact(kFrameSendDa, agentFile, kAckTimeoutMs); r != BROM_OK) return r;
        if (in.callbackD) in.callbackD(100, total, total, Arg(in.contextD));
        result->agentVersion = agentVersion;
        result->agentBytes = static_cast<unsigned int>(agentFile.size());
        if (args->callbackE) args->callbackE(Arg(args->contextE));

        *handle = Connections().Add(std::move(connection));
        return BROM_OK;
    });
}

int WINAPI FlashTool_Download(FLASHTOOL_HANDLE_T handle, BROM_DOWNLOAD_ARGS* args, BROM_DOWNLOAD_RESULT* result) {
    return Guarded([&]() -> int {
        Connection* connection = Connections().Find(handle);
        if (connection == nullptr) return BROM_INVALID_HANDLE;
        if (args == nullptr || result == nullptr) return BROM_INVALID_ARGUMENT;
        *result = BROM_DOWNLOAD_RESULT{};
        const DownloadList* list = DownloadLists().Find(args->dlHandle);
        if (list == nullptr) return BROM_INVALID_HANDLE;
        if (!list->loaded) return BROM_ROM_NOT_LOADED;

        std::vector<const RomEntry*> regions;
        std::uint64_t totalBytes = 0;
        for (const RomEntry& e : list->entries) {
            if (!e.enabled) continue;
            regions.push_back(&e);
            totalBytes += e.image.size();
        }
        if (regions.empty()) return BROM_NO_REGION_ENABLED;
        const auto count = static_cast<std::uintptr_t>(regions.size());
        const BROM_DOWNLOAD_ARGS& a = *args;
        if (a.callback8) a.callback8(count, Arg(a.context8));

        // Stage 1 (+124): the checksum of every image, which END_REGION carries.
        std::vector<std::uint32_t> sums;
        if (a.callback124) a.callback124(0, 0, count, Arg(a.context124));
        for (std::size_t i = 0; i < regions.size(); ++i) {
            sums.push_back(Sum32(regions[i]->image.data(), regions[i]->image.size()));
            if (a.callback124) a.callback124(Percent(i + 1, regions.size()), i + 1, count, Arg(a.context124));
        }

        // Stage 2 (+364): enabled regions must not share flash addresses, nor run past 2^64.
        if (a.callback364) a.callback364(0, Arg(a.context364));
        for (std::size_t i = 0; i < regions.size(); ++i) {
            const RomEntry& r = *regions[i];
            const std::uint64_t end = r.address + r.image.size();
            if (end < r.address) return BROM_ROM_REGIONS_OVERLAP;
            for (std::size_t j = 0; j < i; ++j) {
                const RomEntry& o = *regions[j];
                if (r.address < o.address + o.image.size() && o.address < end) return BROM_ROM_REGIONS_OVERLAP;
            }
            if (a.callback364) a.callback364(Percent(i + 1, regions.size()), Arg(a.context364));
        }

        // Stage 3 (+28): the bytes, region by region, in blocks of 64 KiB.
        Link link(connection->port.get(), connection->stopFlag);
        std::uint64_t written = 0;
        auto progress = [&] {
            if (a.callback28)
                a.callback28(Percent(written, totalBytes), static_cast<std::uintptr_t>(written),
                             static_cast<std::uintptr_t>(totalBytes), Arg(a.context28));
        };
        progress();
        for (std::size_t i = 0; i < regions.size(); ++i) {
            const RomEntry& r = *regions[i];
            if (const int e = link.Transact(kFrameBeginRegion, BeginRegionPayload(r.name, r.address, r.image.size()),
                                            kAckTimeoutMs, &result->resends);
                e != BROM_OK)
                return e;
            for (std::size_t offset = 0; offset < r.image.size(); offset += kMaxDataBlock) {
                const std::size_t n = std::min(kMaxDataBlock, r.image.size() - offset);
                if (const int e = link.Transact(kFrameData, DataPayload(offset, r.image.data() + offset, n),
                                                kAckTimeoutMs, &result->resends);
                    e != BROM_OK)
                    return e;
                written += n;
                result->bytesWritten = static_cast<unsigned int>(written);
                progress();
            }
            if (const int e = link.Transact(kFrameEndRegion, U32Payload(sums[i]), kAckTimeoutMs, &result->resends);
                e != BROM_OK)
                return e;
            ++result->regionsWritten;
        }

        // Stage 4 (+60): every region confirmed by the watch's own checksum.
        for (std::size_t i = 0; i < regions.size(); ++i) {
            if (a.callback60) a.callback60(Percent(i + 1, regions.size()), i + 1, count, Arg(a.context60));
        }
        if (a.callback20) a.callback20(Arg(a.context20));
        return BROM_OK;
    });
}

int WINAPI FlashTool_EnableWatchDogTimeout(FLASHTOOL_HANDLE_T handle, unsigned int milliseconds, int /*reserved1*/,
                                           int /*reserved2*/) {
    return Guarded([&]() -> int {
        Connection* connection = Connections().Find(handle);
        if (connection == nullptr) return BROM_INVALID_HANDLE;
        Link link(connection->port.get(), connection->stopFlag);
        const int r = link.Transact(kFrameWatchdog, U32Payload(milliseconds), kAckTimeoutMs);
        if (r == BROM_OK) connection->watchdogArmed = true;
        return r;
    });
}

int WINAPI FlashTool_Disconnect(FLASHTOOL_HANDLE_T* handle, int /*reserved1*/, int /*reserved2*/) {
    return Guarded([&]() -> int {
        if (handle == nullptr) return BROM_INVALID_ARGUMENT;
        std::unique_ptr<Connection> connection = Connections().Remove(*handle);
        if (!connection) return BROM_INVALID_HANDLE;
        *handle = nullptr;
        // After WATCHDOG the watch is already on its way back to normal mode: it ends the session.
        if (!connection->watchdogArmed) {
            Link link(connection->port.get(), nullptr);
            (void)link.Transact(kFrameDisconnect, {}, kDisconnectAckTimeoutMs);
        }
        return BROM_OK;  // the port closes with the connection
    });
}

}  // extern "C"
