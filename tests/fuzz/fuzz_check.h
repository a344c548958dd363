#pragma once
// A property that does not hold is a crash to the fuzzer, reported with the line stating it.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                     \
  do {                                                                            \
    if (!(condition)) {                                                           \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                               \
    }                                                                             \
  } while (0)
