// Swaps one entry of the OS seam for the life of a scope. Nesting an override
// of the same entry is a test bug and aborts loudly rather than silently
// restoring the wrong function.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "platform/os_seam.h"

namespace kova {

template <typename Fn>
class ScopedOsOverride {
 public:
  ScopedOsOverride(Fn OsSeam::*entry, Fn replacement) : entry_(entry) {
    if (Os().*entry != RealOs().*entry) {
      std::fprintf(stderr, "ScopedOsOverride: this seam entry is already overridden\n");
      std::abort();
    }
    Os().*entry = replacement;
  }
  ~ScopedOsOverride() { Os().*entry_ = RealOs().*entry_; }
  ScopedOsOverride(const ScopedOsOverride&) = delete;
  ScopedOsOverride& operator=(const ScopedOsOverride&) = delete;

 private:
  Fn OsSeam::*entry_;
};

}  // namespace kova
