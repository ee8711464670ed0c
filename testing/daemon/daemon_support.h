// What the native test daemons (virtual watch, update server) share: signals turned into a pipe
// the loop polls, the atomically written ready file, option numbers, Wine paths on the host.
#pragma once

#include <string>
#include <string_view>

namespace tvsp::daemon {

// SIGTERM, SIGINT and SIGHUP each write a byte to a pipe (no handler touches daemon state);
// SIGPIPE is ignored. False when the pipe or a handler cannot be installed.
bool InstallSignalPipe();
// The pipe's read end for poll(); -1 before InstallSignalPipe.
int SignalPipeFd();
// Ends the loop as a signal would (a "quit" command).
void RequestStop();

// Writes text under a temporary name beside path and renames it over path, so a reader never
// sees half of it; on failure error says why and nothing is left behind.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error);

// A whole decimal number within [min, max].
bool ParseNumber(const std::string& text, int min, int max, int* out);

// "X:\a\b" as the host path through the prefix's drive links ("<prefix>/dosdevices/x:/a/b");
// anything else, or no prefix, unchanged.
std::string HostPath(std::string_view prefix, std::string_view path);

}  // namespace tvsp::daemon
