// Where the package file goes below the per-user data folder:
// <data folder>\Orvo\Kova\krt1.6.0_07\krt1.6.0_07.msi
#pragma once

#include <cstddef>

#include "product/product.h"

namespace kova {

// The chain is built in four steps from the data folder; after each of the
// first three the path names a folder to create.
constexpr int kPackagePathSteps = 4;
constexpr int kPackagePathFolderSteps = 3;

// Extends path[cap] in place by one step (0: "\Orvo\", 1: "Kova\",
// 2: "krt1.6.0_07", 3: "\krt1.6.0_07.msi"). Returns false, with path emptied,
// when the result would not fit: a cut path must never name a file.
bool ExtendPackagePath(char* path, size_t cap, int step);

}  // namespace kova
