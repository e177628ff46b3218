// A failed expectation in a fuzz target: says what did not hold and aborts, so that libFuzzer
// keeps the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzz {

inline void expect(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz: expected %s\n", what);
        std::abort();
    }
}

} // namespace fuzz
