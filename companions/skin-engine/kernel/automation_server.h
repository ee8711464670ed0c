// The automation server: serves the line protocol of docs/automation.md on the named pipe given
// by TVSP_AUTOMATION, on a thread of its own, so test scenarios can drive the skin windows.
#pragma once

#include <windows.h>

#include <string>

#include "companions/skin-engine/core/automation_protocol.h"
#include "companions/skin-engine/kernel/kernel.h"
#include "base/win/handle.h"

namespace uifeature {

// "\\.\pipe\NAME" for a bare name; a name already starting with "\\.\pipe\" is kept.
std::wstring AutomationPipePath(const std::wstring& name);

class AutomationServer {
public:
    explicit AutomationServer(Kernel& kernel) : kernel_(kernel) {}
    AutomationServer(const AutomationServer&) = delete;
    AutomationServer& operator=(const AutomationServer&) = delete;

    // Any thread: starts serving when TVSP_AUTOMATION names a pipe and no server runs yet.
    void StartIfWanted();
    // Any thread but the server's: closes the pipe and ends the thread (a few seconds at most).
    void Stop();

    // One request line to its reply line (no LF); the server thread calls it for every line.
    std::string Answer(const std::string& line);

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run(const std::wstring& pipePath);

    Kernel& kernel_;
    Lockable lock_;  // start and stop; never taken by the server thread, so Stop may wait for it
    TVSP::unique_handle thread_, stop_;
    std::wstring pipePath_;
    TVSP::unique_hfile first_;  // the first pipe instance, made by the starter, taken by the thread
};

}  // namespace uifeature
