// A test that hangs ends its program with a report instead of a silent time-out: which test, how
// long, and what the registered reporters can tell (what the tool was told, what it shows now).
#pragma once

#include <functional>

namespace tvsp {

// Seconds one test may run before the program reports and ends itself (TVSP_TEST_HANG_S, else
// 600): longer than any test's own waits, shorter than the time-out CTest gives a program.
unsigned HangLimitSeconds();

// Reporters run on the watchdog's thread while the test's thread is stuck: they must not touch
// what that thread may hold (make their own connections) and must be bounded in time.
[[nodiscard]] int AddHangReport(std::function<void()> report);
void RemoveHangReport(int id);

// Starts the watchdog for the tests GoogleTest runs from now on (called once, by the entry point).
void StartTestWatchdog();

}  // namespace tvsp
