// The fuzz targets' one assertion: it aborts in every build, so a broken
// property is a crash that libFuzzer saves and the replay test reports,
// whether or not the target was built with NDEBUG or a sanitizer.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                              \
    do {                                                                              \
        if (!(cond)) {                                                                \
            std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, \
                         #cond);                                                      \
            std::abort();                                                             \
        }                                                                             \
    } while (0)
