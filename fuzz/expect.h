// What a fuzz target checks besides the sanitizers: a broken expectation is a finding, reported
// and ended like a crash, so that the fuzzer keeps the input and the replay test fails.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void Expect(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz: expectation broken: %s\n", what);
    std::abort();
}
