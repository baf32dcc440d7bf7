#include "bootstrap/package_path.h"

#include "product/product.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

// The format of each step, applied to the path so far. The first two add a
// folder name; the last two add the runtime's short name and version (a
// format that adds one text ignores the version).
// Kept as one run of NUL-separated formats, step 0 first.
const char kPathStepFormats[] = "%s\\%s\\\0%s%s\\\0%s%s%s\0%s\\%s%s.msi";

}  // namespace

bool ExtendPackagePath(char* path, size_t cap, int step) {
  if (step < 0 || step >= kPackagePathSteps) {
    if (cap != 0) path[0] = '\0';
    return false;
  }
  const char* name = step == 0 ? kMakerFolder : step == 1 ? kProductFolder : kRuntimeShortName;
  const char* format = kPathStepFormats;
  for (int i = 0; i < step; ++i) format += TextLength(format) + 1;
  return TextFormat(path, cap, format, path, name, kRuntimeVersion);
}

}  // namespace kova
