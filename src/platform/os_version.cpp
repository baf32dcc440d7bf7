#include "platform/os_version.h"

#include "platform/os_seam.h"

namespace kova {

void QueryOsVersion(OSVERSIONINFOEXA* version) {
  ZeroMemory(version, sizeof *version);
  version->dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  auto* plain = reinterpret_cast<OSVERSIONINFOA*>(version);
  if (Os().GetVersionExA(plain)) return;
  ZeroMemory(version, sizeof *version);
  version->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  if (!Os().GetVersionExA(plain)) ZeroMemory(version, sizeof *version);
}

}  // namespace kova
