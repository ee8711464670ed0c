// Test helper: runs a program to its end and keeps what it wrote to stderr.
#pragma once

#include <windows.h>

#include <string>

namespace tvsp {

struct ProgramRun {
    bool started = false;
    DWORD exitCode = STILL_ACTIVE;  // STILL_ACTIVE: it did not end in time and was ended
    std::string errorOutput;        // its stderr, byte for byte
};

// Starts commandLine with stderr going to a temporary file (no stdin, no stdout) and waits up to
// timeoutMs for it to end.
ProgramRun RunProgram(const std::wstring& commandLine, DWORD timeoutMs);

}  // namespace tvsp
