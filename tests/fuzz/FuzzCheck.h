#pragma once
// The fuzz targets' own assertions: a broken promise of the code under test aborts, like a
// sanitizer's finding, so that the driver or libFuzzer keeps the input.

#include <cstdio>
#include <cstdlib>

namespace talvence::fuzz {

[[noreturn]] inline void CheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, condition);
    std::abort();
}

} // namespace talvence::fuzz

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? void(0) : ::talvence::fuzz::CheckFailed(#condition, __FILE__, __LINE__))
