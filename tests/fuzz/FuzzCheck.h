// Invariant checks for the fuzz targets. They hold in every build type
// (NDEBUG included) and a failed one aborts, which libFuzzer reports as a
// crash and keeps the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace kdm::fuzz {

[[noreturn]] inline void checkFailed(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::abort();
}

} // namespace kdm::fuzz

#define KDM_FUZZ_CHECK(condition) ((condition) ? void(0) : ::kdm::fuzz::checkFailed(#condition, __FILE__, __LINE__))
