#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant is a finding like a crash: abort, so libFuzzer keeps the input.
inline void expect(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "broken invariant: %s\n", what);
        std::abort();
    }
}
