// The folder chain below the per-user data folder that holds the package:
// made where missing, and checked to be plain folders, never links.
#pragma once

#include <windows.h>

#include "bootstrap/user_data_folder.h"
#include "platform/path_text.h"

namespace kova {

// Where the package goes, composed once, when its folder chain is made.
// Path texts (path_text.h).
struct PackageLocation {
  // "<data folder>\Orvo\Kova\krt1.6.0_07\krt1.6.0_07.msi" as built: the
  // name the file is opened by. Empty when it does not fit.
  char path[kPathTextSize];
  // Where the system tells final paths (Vista on): the package folder's
  // final path (the data folder's own plus the chain) and the file name,
  // which every handle on the package must show; the name the engine is
  // given. Without final paths, path.
  char file[kPathTextSize];
};

// Composes *location, creating the data folder and the chain's folders on
// the way. Returns 0, or the first error met: a folder's creation failed
// (other than its being there already), or what is there is no plain folder
// (a reparse point: 1920; a file: 267); after that no further folder is
// created. Where the system tells final paths, the data folder is known by
// its handle's final path first, which must lie on a local disk (a share or
// a network drive: 1920, before the chain is made: the run is elevated from
// Vista on), and the package folder's own final path must be exactly the
// data folder's plus "\Orvo\Kova\krt1.6.0_07" (else 1920: a folder of the
// chain became a link after it was checked). When the chain is too long for a path, path is left
// empty, and the extraction then fails as a file name too long (206).
DWORD GetPackagePath(PackageLocation* location, VersionCache* cache);

}  // namespace kova
