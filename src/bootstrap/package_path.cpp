#include "bootstrap/package_path.h"

#include "product/product.h"
#include "text/bounded_text.h"

namespace kova {

bool ExtendPackagePath(char* path, size_t cap, int step) {
  bool fit = false;
  switch (step) {
    case 0:
      fit = TextFormat(path, cap, "%s\\%s\\", path, kMakerFolder);
      break;
    case 1:
      fit = TextFormat(path, cap, "%s%s\\", path, kProductFolder);
      break;
    case 2:
      fit = TextFormat(path, cap, "%s%s%s", path, kRuntimeShortName, kRuntimeVersion);
      break;
    case 3:
      fit = TextFormat(path, cap, "%s\\%s%s.msi", path, kRuntimeShortName, kRuntimeVersion);
      break;
    default:
      break;
  }
  if (!fit && cap != 0) path[0] = '\0';
  return fit;
}

bool BuildPackagePath(char* path, size_t cap) {
  for (int step = 0; step < kPackagePathSteps; ++step) {
    if (!ExtendPackagePath(path, cap, step)) return false;
  }
  return true;
}

}  // namespace kova
