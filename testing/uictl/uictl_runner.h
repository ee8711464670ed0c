// Test helper: runs uictl.exe against a program's automation pipe and reads its snapshots.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "base/win/handle.h"

namespace tvsp {

struct UictlResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // standard output and error together
};

// One CreateProcessW, made on a thread of its own: under Wine a new process now and then never
// finishes starting (it waits for the server's answer to its first request), and CreateProcessW
// waits for that start without limit.
struct UictlStart {
    std::wstring commandLine;
    HANDLE output = nullptr;
    PROCESS_INFORMATION pi{};
    BOOL started = FALSE;

    static DWORD WINAPI Run(void* param) {
        auto* start = static_cast<UictlStart*>(param);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = start->output;
        si.hStdError = start->output;
        si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        start->started = ::CreateProcessW(nullptr, start->commandLine.data(), nullptr, nullptr, TRUE,
                                          CREATE_NO_WINDOW, nullptr, nullptr, &si, &start->pi);
        return 0;
    }
};

// Runs `uictl --pipe PIPE ARGUMENTS` and waits for it, 30 s at most: a uictl that gets no answer
// (a program stuck with its pipe open) is ended then, and the result has no exit code, so a test
// fails at that call instead of stalling until its time-out. A uictl that does not start within
// 20 s is given up the same way (the call fails; the next one usually starts).
inline UictlResult RunUictl(const std::wstring& uictlExe, const std::wstring& pipe, const std::wstring& arguments) {
    constexpr DWORD kLimitMs = 30000;
    constexpr DWORD kStartLimitMs = 20000;
    UictlResult result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
    TVSP::unique_handle reader(readEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    auto* launch = new UictlStart{L"\"" + uictlExe + L"\" --pipe " + pipe + L" " + arguments, writeEnd};
    TVSP::unique_handle starter(::CreateThread(nullptr, 0, UictlStart::Run, launch, 0, nullptr));
    if (!starter || ::WaitForSingleObject(starter.get(), kStartLimitMs) != WAIT_OBJECT_0) {
        // A start still under way keeps its record and the write end: both are left to it, on
        // purpose (freeing them would pull them from under the thread).
        if (!starter) {
            ::CloseHandle(writeEnd);
            delete launch;
        }
        result.output = "(uictl did not start within " + std::to_string(kStartLimitMs / 1000) + " s)";
        return result;
    }
    ::CloseHandle(writeEnd);  // only the child holds the write end now: the pipe breaks when it ends
    const std::unique_ptr<UictlStart> started(launch);
    if (!started->started) return result;
    PROCESS_INFORMATION pi = started->pi;
    TVSP::unique_handle process(pi.hProcess);
    TVSP::unique_handle thread(pi.hThread);
    // Read only what is there, so the limit is checked even while uictl writes nothing.
    const DWORD start = ::GetTickCount();
    char buffer[4096];
    for (;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;  // uictl ended
        if (available > 0) {
            DWORD n = 0;
            if (!::ReadFile(readEnd, buffer, available < sizeof buffer ? available : sizeof buffer, &n, nullptr)) break;
            result.output.append(buffer, n);
            continue;
        }
        if (::GetTickCount() - start > kLimitMs) {
            ::TerminateProcess(process.get(), 0xFFFFFFFF);
            ::WaitForSingleObject(process.get(), 5000);
            result.output += "\n(uictl ended by the test after 30 s without finishing)";
            return result;  // exit code stays unset
        }
        ::Sleep(10);
    }
    ::WaitForSingleObject(process.get(), kLimitMs);
    if (!::GetExitCodeProcess(process.get(), &result.exitCode) || result.exitCode == STILL_ACTIVE) {
        result.exitCode = 0xFFFFFFFF;
    }
    return result;
}

// The control of a snapshot's tree by name, depth first; null when absent.
inline const nlohmann::json* FindSnapshotControl(const nlohmann::json& controls, const std::string& name) {
    if (!controls.is_array()) return nullptr;
    for (const auto& c : controls) {
        if (!c.is_object()) continue;
        if (c.value("name", std::string()) == name) return &c;
        if (!c.contains("children")) continue;
        if (const nlohmann::json* found = FindSnapshotControl(c["children"], name)) return found;  // a reference
    }
    return nullptr;
}

// The window of that name in the program's snapshot; null json when the program does not answer.
inline nlohmann::json SnapshotWindow(const UictlResult& snapshot, const std::string& windowName) {
    if (snapshot.exitCode != 0) return nlohmann::json();
    const nlohmann::json parsed = nlohmann::json::parse(snapshot.output, nullptr, false);
    if (!parsed.is_object() || !parsed.contains("windows") || !parsed["windows"].is_array()) return nlohmann::json();
    for (const auto& w : parsed["windows"]) {
        if (w.is_object() && w.value("name", std::string()) == windowName) return w;
    }
    return nlohmann::json();
}

}  // namespace tvsp
