#pragma once

#include <cstdio>
#include <cstdlib>

/// Ends the run with the failed condition's text when it is false; the fuzzer keeps the input
/// as a crash.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
