// The one fake of GetVersionExA the Win32 tests share: for the life of a
// scope, everything that asks through the OS seam sees the Windows version
// the scope was given.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/scoped_os_override.h"

namespace kova {
namespace test {

struct FakeWindowsVersion {
  DWORD platform, major, minor;
  const char* csd = "";
  BYTE product_type = VER_NT_WORKSTATION;  // reported with the long structure
  bool ex_fails = false;  // refuses the long structure (OSVERSIONINFOEXA) only
  bool fails = false;     // refuses every call
};

class ScopedWindowsVersion {
 public:
  explicit ScopedWindowsVersion(const FakeWindowsVersion& version);
  void Set(const FakeWindowsVersion& version);
  // dwOSVersionInfoSize of every call so far, in order.
  static const std::vector<DWORD>& StructureSizes();

 private:
  ScopedOsOverride<decltype(OsSeam::GetVersionExA)> override_;
};

}  // namespace test
}  // namespace kova
