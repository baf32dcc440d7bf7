// The folder chain below the per-user data folder that holds the package:
// made where missing, and checked to be plain folders, never links.
#pragma once

#include <windows.h>

#include "bootstrap/user_data_folder.h"

namespace kova {

// Folders checked above the package file: its own and the three above it.
constexpr int kCheckedFolderLevels = 4;

// Fills path[MAX_PATH] with the package file's full path, creating the data
// folder and the chain's folders on the way. Returns 0, or the first error a
// folder met: its creation failed (other than its being there already), or
// what is there is no plain folder (a reparse point: 1920; a file: 267);
// after that no further folder is created. When the data folder is too long
// for the chain, path is left empty, and the extraction then fails as a file
// name too long (206).
DWORD GetPackagePath(char* path, VersionCache* cache);

// Checks the folder that holds the file at path and the levels above it, up
// to kCheckedFolderLevels (the data folder and the chain's own), stopping
// before a drive ("C:"). 0, or the first folder's error: missing, not a
// folder (267), or a reparse point (1920).
DWORD CheckFolderChain(const char* path);

}  // namespace kova
