// Test helper: runs a program to its end and keeps what it wrote to stderr.
#include "testing/wine/child_process.h"

#include <vector>

#include "base/win/handle.h"

namespace tvsp {

ProgramRun RunProgram(const std::wstring& commandLine, DWORD timeoutMs) {
    ProgramRun run;
    wchar_t folder[MAX_PATH] = {};
    wchar_t name[MAX_PATH] = {};
    if (!::GetTempPathW(MAX_PATH, folder) || !::GetTempFileNameW(folder, L"err", 0, name)) return run;
    // Inherited by the child; gone with the last handle.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    TVSP::unique_hfile errors(::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            &inherit, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!errors) return run;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = errors.get();
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return run;
    run.started = true;
    TVSP::unique_handle thread(process.hThread);
    TVSP::unique_handle child(process.hProcess);
    if (::WaitForSingleObject(child.get(), timeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(child.get(), STILL_ACTIVE);
        ::WaitForSingleObject(child.get(), 10000);
        run.exitCode = STILL_ACTIVE;
    } else if (!::GetExitCodeProcess(child.get(), &run.exitCode)) {
        run.exitCode = STILL_ACTIVE;
    }

    // The child shared the file position: read from the start.
    ::SetFilePointer(errors.get(), 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(errors.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) run.errorOutput.append(buffer, read);
    return run;
}

}  // namespace tvsp
