#pragma once
// A property that does not hold is a crash to the fuzzer, reported with the line stating it.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition) \
  ((condition)                \
       ? (void)0              \
       : (std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition), std::abort()))
