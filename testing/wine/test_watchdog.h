// A test that hangs ends its program with a report instead of a silent time-out: which test, how
// long, and what the registered reporters can tell (what the tool was told, what it shows now).
#pragma once

#include <functional>

namespace tvsp {

// Reporters run on a thread of the watchdog's while the test's thread is stuck: they must not
// touch what that thread may hold (they make their own connections). Removing a report once the
// watchdog has fired never returns: the report may still use its owner, and the program ends.
[[nodiscard]] int AddHangReport(std::function<void()> report);
void RemoveHangReport(int id);

// Starts the watchdog for the tests GoogleTest runs from now on (called once, by the entry point).
// One test may run TVSP_TEST_HANG_S seconds (600 unless set): longer than any test's own waits,
// shorter than the time-out CTest gives its program.
void StartTestWatchdog();

}  // namespace tvsp
