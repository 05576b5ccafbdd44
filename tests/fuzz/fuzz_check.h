// A property that does not hold ends the run at once, which libFuzzer reports as a crash.
#pragma once

#include <cstdlib>

inline void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}
