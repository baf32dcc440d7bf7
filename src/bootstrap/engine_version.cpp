#include "bootstrap/engine_version.h"

namespace kova {

bool IsEngineVersionSufficient(uint32_t version_ms, uint32_t version_ls) {
  if (version_ms > kMinEngineVersionMS) return true;
  return version_ms == kMinEngineVersionMS && version_ls > kMaxTooOldEngineVersionLS;
}

}  // namespace kova
