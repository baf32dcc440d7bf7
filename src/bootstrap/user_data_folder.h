// The per-user data folder that the package's folder chain starts from, and
// the one question about the system it depends on.
#pragma once

#include <windows.h>

namespace kova {

// IsVistaFamily's answer, asked of the system once. The main sequence holds
// the one of the run.
struct VersionCache {
  DWORD tested = 0;
  DWORD result = 0;
};

// Windows NT 6.x; asked once, then answered from cache.
bool IsVistaFamily(VersionCache* cache);

// Fills path[kPathTextSize] with the per-user data folder, a path text
// (path_text.h): LocalLow on the NT 6 family, else the roaming application
// data folder, else the profile folder (or the Windows folder when there is
// no usable profile). Empty when none could be had.
void GetUserDataFolder(char* path, VersionCache* cache);
void GetLocalLowFolder(char* path);
void GetProfileFolder(char* path);

}  // namespace kova
