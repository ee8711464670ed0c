// Invariant check for the fuzz targets: a broken invariant is a crash libFuzzer reports and keeps.
#pragma once

#include <cstdio>
#include <cstdlib>

#define TVSP_FUZZ_CHECK(condition)                                                   \
    do {                                                                             \
        if (!(condition)) {                                                          \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, \
                         #condition);                                                \
            std::abort();                                                            \
        }                                                                            \
    } while (0)
