// Times writing and verifying the package (a benchmark, not a test):
//   extraction_bench.exe [runs] [an exe whose package resource is used, loaded
//   as data; default: this exe's 15.8 MB test resource]
// and prints min / median / max milliseconds of ExtractResourceToFile (write,
// close, reopen, byte-for-byte compare) as "full <min> <median> <max>".
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bootstrap/package_extraction.h"
#include "product/product.h"

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  HMODULE module =
      argc > 2 ? LoadLibraryExA(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE) : GetModuleHandleA(nullptr);
  if (module == nullptr) {
    std::printf("cannot load %s\n", argv[2]);
    return 1;
  }
  // The temporary folder lies below no link here: the file's final path is
  // the path itself.
  kova::PackageLocation location;
  char* path = location.path;
  GetTempPathA(MAX_PATH, path);
  lstrcatA(path, "kova-extraction-bench.msi");
  lstrcpyA(location.file, path);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);

  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    kova::FileHandle held;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const kova::Extraction extraction =
        kova::ExtractResourceToFile(module, kova::kPackageResourceId, location, 0, &held);
    if (!extraction.written) {
      std::printf("extraction failed: %lu\n", static_cast<unsigned long>(extraction.fatal.code));
      return 1;
    }
    QueryPerformanceCounter(&end);
    times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                    static_cast<double>(frequency.QuadPart));
  }
  DeleteFileA(path);
  std::sort(times.begin(), times.end());
  std::printf("full %.1f %.1f %.1f\n", times.front(), times[times.size() / 2], times.back());
  return 0;
}
