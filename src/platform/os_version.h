// The one way the bootstrapper asks which Windows it runs on.
#pragma once

#include <windows.h>

namespace kova {

// GetVersionExA through the seam, the long structure first; systems that
// know only the short one (before NT 4 SP6) are asked again with that, and
// the product type then stays 0. When both calls fail every field is 0.
void QueryOsVersion(OSVERSIONINFOEXA* version);

}  // namespace kova
