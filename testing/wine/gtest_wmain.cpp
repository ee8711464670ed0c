// Entry point of every Windows test program: GoogleTest with the wide command line, and a
// watchdog that turns a hanging test into a report.
#include <gtest/gtest.h>

#include "testing/wine/test_watchdog.h"

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    tvsp::StartTestWatchdog();
    return RUN_ALL_TESTS();
}
