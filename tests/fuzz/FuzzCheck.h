#pragma once

#include <cstdio>
#include <cstdlib>

// Names the broken rule, then stops the run as a crash does.
#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "broken rule, line %d: %s\n", __LINE__, #condition);              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
