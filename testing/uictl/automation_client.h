// Client side of the automation pipe: one request line, one JSON reply line.
#pragma once

#include <string>

namespace tvsp {

// "\\.\pipe\NAME" for a bare name; a full pipe path is kept.
std::wstring AutomationPipePath(const std::wstring& name);

// Sends one request line (UTF-8, no line end) and returns the reply line, or "" with a reason in
// *error when the pipe is not there or the exchange fails. Waits up to timeoutMs for a busy pipe.
std::string AutomationRequest(const std::wstring& pipePath, const std::string& request, std::string* error,
                              unsigned timeoutMs = 10000);

}  // namespace tvsp
