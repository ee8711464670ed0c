// The automation server: serves the line protocol of docs/automation.md on the named pipe given
// by TVSP_AUTOMATION, on a thread of its own, so test scenarios can drive the skin windows.
#include "companions/skin-engine/kernel/automation_server.h"

#include <memory>
#include <vector>

namespace uifeature {

namespace {

constexpr wchar_t kVariable[] = L"TVSP_AUTOMATION";
constexpr wchar_t kPipePrefix[] = L"\\\\.\\pipe\\";
constexpr DWORD kPipeBuffer = 64 * 1024;
// Clients served at once; one more waits for a free instance (a client's open then says busy).
constexpr size_t kMaxClients = 16;
// A client that does not read its reply for this long is dropped, so it cannot hold the server.
constexpr DWORD kWriteTimeoutMs = 10000;
// How long a cancelled operation may take to settle before its buffers are left to it.
constexpr DWORD kCancelWaitMs = 2000;

std::wstring ReadVariable() {
    for (DWORD size = 256;;) {
        std::wstring value(size, L'\0');
        const DWORD n = ::GetEnvironmentVariableW(kVariable, value.data(), size);
        if (n == 0) return {};
        if (n < size) {
            value.resize(n);
            return value;
        }
        size = n;  // too small: n is the room needed
    }
}

// One pipe instance: listening, then serving one client. At most one overlapped operation
// (connect, read) is outstanding on it at a time; a write is waited for where it is made.
struct Connection {
    TVSP::unique_hfile pipe;
    TVSP::unique_handle event;  // manual reset, signalled when the outstanding operation ends
    OVERLAPPED overlapped{};
    bool pending = false;
    char buffer[4096];
    automation::LineReader lines;
    // The reply being written; kept here because a cancelled write may still touch them.
    TVSP::unique_handle written;
    OVERLAPPED writeOverlapped{};
    std::string out;
    bool stuck = false;  // an operation would not settle after cancelling: never free this

    void Arm() {
        ::ResetEvent(event.get());
        overlapped = OVERLAPPED{};
        overlapped.hEvent = event.get();
    }
};

using ConnectionPtr = std::unique_ptr<Connection>;

TVSP::unique_hfile CreateInstance(const std::wstring& path) {
    return TVSP::unique_hfile(::CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                                 PIPE_UNLIMITED_INSTANCES, kPipeBuffer, kPipeBuffer, 0, nullptr));
}

// Waits for the next client on c's instance; false when the instance cannot take one.
bool Accept(Connection& c) {
    c.lines = automation::LineReader();
    for (int attempt = 0; attempt < 4; ++attempt) {
        c.Arm();
        c.pending = false;
        if (::ConnectNamedPipe(c.pipe.get(), &c.overlapped)) {
            ::SetEvent(c.event.get());
            return true;
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_PENDING) {
            c.pending = true;
            return true;
        }
        if (error == ERROR_PIPE_CONNECTED) {
            ::SetEvent(c.event.get());  // the client came between creation and connect
            return true;
        }
        if (error != ERROR_NO_DATA) return false;
        // A client came and went before we looked: the instance is reset for the next one.
        ::DisconnectNamedPipe(c.pipe.get());
    }
    return false;
}

// An instance (made here when none is given) waiting for a client, or null when the pipe cannot
// be made. Clients may open the instance as soon as it exists; connecting then finds them.
ConnectionPtr Listen(const std::wstring& path, TVSP::unique_hfile instance) {
    auto c = std::make_unique<Connection>();
    c->event.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    c->pipe = instance ? std::move(instance) : CreateInstance(path);
    if (!c->event || !c->pipe || !Accept(*c)) return nullptr;
    return c;
}

// Starts the next read; false when the connection is finished.
bool StartRead(Connection& c) {
    c.Arm();
    if (::ReadFile(c.pipe.get(), c.buffer, sizeof c.buffer, nullptr, &c.overlapped)) {
        c.pending = true;
        ::SetEvent(c.event.get());  // done at once: collected like any other completion
        return true;
    }
    if (::GetLastError() != ERROR_IO_PENDING) return false;
    c.pending = true;
    return true;
}

// The result of the operation whose event fired.
bool Collect(Connection& c, DWORD* bytes) {
    *bytes = 0;
    if (!c.pending) return true;
    c.pending = false;
    return ::GetOverlappedResult(c.pipe.get(), &c.overlapped, bytes, FALSE) != FALSE;
}

// Cancels what is outstanding and closes the instance. When the cancellation does not settle,
// the connection's memory is left to the operation rather than freed under it.
void Close(ConnectionPtr c) {
    if (!c) return;
    if (c->pending) {
        ::CancelIo(c->pipe.get());
        c->stuck = c->stuck || ::WaitForSingleObject(c->event.get(), kCancelWaitMs) != WAIT_OBJECT_0;
    }
    if (c->stuck) {
        static_cast<void>(c.release());
        return;
    }
    // Closed without DisconnectNamedPipe, which would throw away a last reply not yet read.
}

// Writes one reply line; false when the client is gone, does not read in time, or stop is set.
bool Write(Connection& c, const std::string& reply, HANDLE stop) {
    if (!c.written) c.written.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!c.written) return false;
    c.out = reply + "\n";
    ::ResetEvent(c.written.get());
    c.writeOverlapped = OVERLAPPED{};
    c.writeOverlapped.hEvent = c.written.get();
    if (!::WriteFile(c.pipe.get(), c.out.data(), static_cast<DWORD>(c.out.size()), nullptr, &c.writeOverlapped) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    const HANDLE waits[2] = {c.written.get(), stop};
    if (::WaitForMultipleObjects(2, waits, FALSE, kWriteTimeoutMs) != WAIT_OBJECT_0) {
        ::CancelIo(c.pipe.get());
        c.stuck = ::WaitForSingleObject(c.written.get(), kCancelWaitMs) != WAIT_OBJECT_0;
        return false;
    }
    DWORD written = 0;
    return ::GetOverlappedResult(c.pipe.get(), &c.writeOverlapped, &written, FALSE) && written == c.out.size();
}

}  // namespace

std::wstring AutomationPipePath(const std::wstring& name) {
    return name.rfind(kPipePrefix, 0) == 0 ? name : kPipePrefix + name;
}

void AutomationServer::StartIfWanted() {
    Hold hold(lock_);
    if (thread_) {
        if (::WaitForSingleObject(thread_.get(), 0) != WAIT_OBJECT_0) return;  // serving
        thread_.reset();
        stop_.reset();
    }
    const std::wstring name = ReadVariable();
    if (name.empty()) return;
    pipePath_ = AutomationPipePath(name);
    stop_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop_) return;
    // The first instance is made here, so the pipe is there when the caller goes on (a client
    // started right after the first window finds it); the thread makes further ones.
    first_ = CreateInstance(pipePath_);
    // The thread holds this module while it runs, so a host unloading the engine without
    // Shutdown cannot pull the code from under it; it lets go as it ends.
    TVSP::unique_hmodule self;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ThreadMain),
                              self.put())) {
        return;
    }
    thread_.reset(::CreateThread(nullptr, 0, &ThreadMain, this, 0, nullptr));
    if (!thread_) {
        first_.reset();
        return;  // self lets the module go
    }
    // The reference is the thread's now: FreeLibraryAndExitThread gives it back as the thread ends.
    static_cast<void>(self.release());
}

void AutomationServer::Stop() {
    Hold hold(lock_);
    if (!thread_) return;
    ::SetEvent(stop_.get());
    if (::WaitForSingleObject(thread_.get(), 5000) != WAIT_OBJECT_0) {
        // Still finishing (a client's write being cancelled): it owns its handles from now on.
        static_cast<void>(thread_.release());
        static_cast<void>(stop_.release());
        return;
    }
    thread_.reset();
    stop_.reset();
}

DWORD WINAPI AutomationServer::ThreadMain(void* param) {
    auto* self = static_cast<AutomationServer*>(param);
    try {
        self->Run(self->pipePath_);  // the path changes only while no server thread runs
    } catch (...) {
        // Out of memory: stop serving rather than take the host down.
    }
    // Gives back the reference StartIfWanted handed over; no owner can, as the code goes with it.
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ThreadMain), &module);
    ::FreeLibraryAndExitThread(module, 0);
    return 0;
}

void AutomationServer::Run(const std::wstring& path) {
    const HANDLE stop = stop_.get();
    ConnectionPtr listener;
    std::vector<ConnectionPtr> clients;
    for (;;) {
        if (!listener && clients.size() < kMaxClients) listener = Listen(path, std::move(first_));
        std::vector<HANDLE> waits{stop};
        if (listener) waits.push_back(listener->event.get());
        for (const ConnectionPtr& c : clients) waits.push_back(c->event.get());
        // Without a listening instance (the pipe cannot be made now) try again in a moment.
        const DWORD timeout = listener || clients.size() >= kMaxClients ? INFINITE : 500;
        const DWORD r = ::WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, timeout);
        if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) break;
        if (r == WAIT_TIMEOUT) continue;
        size_t index = r - WAIT_OBJECT_0 - 1;
        DWORD bytes = 0;
        if (listener) {
            if (index == 0) {
                ConnectionPtr c = std::move(listener);
                if (Collect(*c, &bytes) && StartRead(*c)) {
                    clients.push_back(std::move(c));
                } else {
                    // The client left before it was served. The same instance listens again, so
                    // the pipe's name never lapses (a client would then be told it is not there).
                    ::DisconnectNamedPipe(c->pipe.get());
                    if (Accept(*c)) {
                        listener = std::move(c);
                    } else {
                        Close(std::move(c));
                    }
                }
                continue;
            }
            --index;
        }
        if (index >= clients.size()) continue;
        Connection& c = *clients[index];
        bool keep = Collect(c, &bytes);  // a client that closed its end ends here
        if (keep) c.lines.Feed(c.buffer, bytes);
        while (keep) {
            std::string line;
            const automation::LineReader::Result next = c.lines.Next(&line);
            if (next == automation::LineReader::Result::NeedMore) {
                keep = StartRead(c);
                break;
            }
            if (next == automation::LineReader::Result::TooLong) {
                Write(c, automation::ErrorReply("request line longer than " +
                                                std::to_string(automation::kMaxRequestLine) + " bytes"),
                      stop);
                keep = false;
                break;
            }
            keep = Write(c, Answer(line), stop);
        }
        if (!keep) {
            Close(std::move(clients[index]));
            clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(index));
        }
    }
    Close(std::move(listener));
    for (ConnectionPtr& c : clients) Close(std::move(c));
}

std::string AutomationServer::Answer(const std::string& line) {
    automation::Request request;
    std::string error;
    if (!automation::ParseRequest(line, &request, &error)) return automation::ErrorReply(error);
    const unsigned long pid = ::GetCurrentProcessId();
    switch (request.verb) {
        case automation::Verb::Hello:
            return automation::HelloReply(pid, kernel_.DescribeWindows(false));
        case automation::Verb::Snapshot:
            return automation::SnapshotReply(pid, kernel_.DescribeWindows(true));
        default:
            return kernel_.RequestAction(request, &error) ? automation::OkReply() : automation::ErrorReply(error);
    }
}

}  // namespace uifeature
