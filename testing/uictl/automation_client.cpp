// Client side of the automation pipe.
#include "testing/uictl/automation_client.h"

#include <windows.h>

#include "base/win/handle.h"

namespace tvsp {

std::wstring AutomationPipePath(const std::wstring& name) {
    if (name.rfind(L"\\\\.\\pipe\\", 0) == 0) return name;
    return L"\\\\.\\pipe\\" + name;
}

std::string AutomationRequest(const std::wstring& pipePath, const std::string& request, std::string* error,
                              unsigned timeoutMs) {
    TVSP::unique_hfile pipe;
    const DWORD start = ::GetTickCount();
    for (;;) {
        pipe.reset(::CreateFileW(pipePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (pipe) break;
        const DWORD err = ::GetLastError();
        if (err != ERROR_PIPE_BUSY || ::GetTickCount() - start > timeoutMs) {
            *error = err == ERROR_FILE_NOT_FOUND ? "the tool is not running (no automation pipe)"
                                                 : "cannot open the automation pipe (error " + std::to_string(err) + ")";
            return {};
        }
        ::WaitNamedPipeW(pipePath.c_str(), 200);
    }

    const std::string line = request + "\n";
    DWORD written = 0;
    if (!::WriteFile(pipe.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
        written != line.size()) {
        *error = "cannot write to the automation pipe";
        return {};
    }
    std::string reply;
    char buffer[4096];
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(pipe.get(), buffer, sizeof buffer, &read, nullptr) || read == 0) break;
        reply.append(buffer, read);
        if (!reply.empty() && reply.back() == '\n') break;
    }
    if (reply.empty() || reply.back() != '\n') {
        *error = "the tool closed the automation pipe without a reply";
        return {};
    }
    reply.pop_back();
    return reply;
}

}  // namespace tvsp
