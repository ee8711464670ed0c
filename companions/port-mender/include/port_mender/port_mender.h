// PortMender.exe as the tool runs it: the service it is installed as, the record of its last run
// and what its exit codes mean.
#pragma once

namespace TVSP::PortMender {

// Installed as an own-process, demand-start service of this name and started through the service
// control manager; run by hand it does the same work directly.
inline constexpr wchar_t kServiceName[] = L"PortMender";

// Written beside the program by every run, replacing the previous one: a single line
// "run=service reenumerate=0x00000000" ("run=manual" when run by hand), the value being the
// configuration manager's result (CONFIGRET) in hex.
inline constexpr wchar_t kRecordFile[] = L"PortMender.log";

// The exit code is that CONFIGRET: 0 when the device tree was re-enumerated. Run by hand it is
// the process's exit code; as a service, the service stops with NO_ERROR, or with
// ERROR_SERVICE_SPECIFIC_ERROR and the CONFIGRET as its service-specific exit code.
inline constexpr unsigned long kExitSucceeded = 0;
// Run by hand only: the service dispatcher failed for another reason than not being started by
// the service control manager, and nothing was done. Outside the CONFIGRET range.
inline constexpr unsigned long kExitDispatcherFailed = 0x100;

}  // namespace TVSP::PortMender
