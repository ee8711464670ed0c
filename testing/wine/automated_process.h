// Test helper: one of our skinned programs started with its automation pipe, ended when the test
// lets go of it.
#pragma once

#include <windows.h>

#include <string>

#include "base/win/handle.h"

namespace tvsp {

class AutomatedProcess {
public:
    // Starts `program` in `folder` with TVSP_AUTOMATION naming `pipe`.
    AutomatedProcess(const std::wstring& program, const wchar_t* folder, const wchar_t* pipe) {
        ::SetEnvironmentVariableW(L"TVSP_AUTOMATION", pipe);
        std::wstring commandLine = L"\"" + program + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &si, &pi)) {
            process_.reset(pi.hProcess);
            thread_.reset(pi.hThread);
            id_ = pi.dwProcessId;
        }
    }
    ~AutomatedProcess() {
        if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_.get(), 99);
            ::WaitForSingleObject(process_.get(), 10000);
        }
    }
    AutomatedProcess(const AutomatedProcess&) = delete;
    AutomatedProcess& operator=(const AutomatedProcess&) = delete;

    bool Started() const { return static_cast<bool>(process_); }
    DWORD Id() const { return id_; }
    // Its exit code once it ended; STILL_ACTIVE after the time-out.
    DWORD WaitForExit(DWORD timeoutMs) const {
        DWORD code = STILL_ACTIVE;
        if (::WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0) ::GetExitCodeProcess(process_.get(), &code);
        return code;
    }

private:
    TVSP::unique_handle process_;
    TVSP::unique_handle thread_;
    DWORD id_ = 0;
};

}  // namespace tvsp
