// An invariant check for fuzz targets: prints what failed and traps, so
// libFuzzer records the input as a crash in every build mode.
#pragma once

#define CHECK(cond)                                                      \
  do {                                                                   \
    if (!(cond)) {                                                       \
      __builtin_printf("check failed: %s (line %d)\n", #cond, __LINE__); \
      __builtin_trap();                                                  \
    }                                                                    \
  } while (0)
