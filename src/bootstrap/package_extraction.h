// Writing the package carried as a resource to its file, and holding it,
// verified, until the engine has read it.
#pragma once

#include <windows.h>

#include "bootstrap/fatal_message_win32.h"
#include "platform/file_handle.h"

namespace kova {

// What an extraction came to: the file written, verified and held
// (written); no such resource, with nothing done (neither); or a fatal file
// error (fatal.label set).
struct Extraction {
  bool written = false;
  FatalError fatal;
};

// Copies the package resource (module, resource_id, of the package's
// resource type) to path[MAX_PATH] in chunks of at most 8192 bytes, then
// reopens the file for reading with sharing for readers only, compares it
// with the resource and leaves that handle in *verified, so that nobody can
// change or replace the file while it is held. Where the system has
// GetFinalPathNameByHandleA (Vista on), the stale file's removal, the new
// file and the verified one are each checked through their handles to lie in
// the package folder's final path, and path becomes the verified file's
// final path (links resolved), the name the engine is given.
// The fatal file errors:
//  - folder_error (from GetPackagePath) is not 0: that error;
//  - the file's folder or one of the three above it (the data folder and the
//    chain's own) is missing, not a folder, or a reparse point (junction,
//    symbolic link, mount point): the check's error, or 1920 for a reparse point;
//  - the file cannot be replaced, created, written, closed or reopened: the
//    Windows error of that call;
//  - a file checked by its handle lies outside the package folder: 1920;
//  - the reopened file differs from the resource: 1392 (ERROR_FILE_CORRUPT).
Extraction ExtractResourceToFile(HMODULE module, int resource_id, char* path, DWORD folder_error,
                                 FileHandle* verified);

constexpr DWORD kExtractChunkSize = 8192;  // bytes per WriteFile
// Bytes per verifying read: larger reads make the check cheaper; the buffer
// is on the stack, so the memory cost stays flat in the package's size.
constexpr DWORD kVerifyChunkSize = 65536;

}  // namespace kova
