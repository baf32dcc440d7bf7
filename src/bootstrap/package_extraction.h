// Writing the package carried as a resource to its file, and holding it,
// verified, until the engine has read it.
#pragma once

#include <windows.h>

#include "bootstrap/fatal_message_win32.h"
#include "bootstrap/package_path_win32.h"
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
// resource type) to location.path in chunks of at most 8192 bytes, then
// reopens the file for reading with sharing for readers only, compares it
// with the resource and leaves that handle in *verified, so that nobody can
// change or replace the file while it is held. Where the system tells final
// paths (Vista on), the stale file's removal, the new file and the verified
// one are each checked through their handles to be location.file. A stale
// file marked read-only is replaced all the same. A file this run created
// and could not finish (its write, close or check failed) is removed again.
// The fatal file errors:
//  - folder_error (from GetPackagePath, which has just made and checked the
//    data folder and the chain's folders) is not 0: that error;
//  - the file cannot be replaced, created, written, closed or reopened: the
//    Windows error of that call;
//  - a file checked by its handle is not location.file: 1920;
//  - the reopened file differs from the resource: 1392 (ERROR_FILE_CORRUPT).
Extraction ExtractResourceToFile(HMODULE module, int resource_id, const PackageLocation& location,
                                 DWORD folder_error, FileHandle* verified);

// 0 when the path text that the engine is given (location.file) opens, now,
// the very file held in verified (same volume serial number and file
// index), whatever that text's letters, dots, blanks or links make of it;
// else 1920 (ERROR_CANT_ACCESS_FILE). Opened read-only, sharing as the
// engine does.
DWORD CheckPackageIdentity(const char* path, HANDLE verified);

constexpr DWORD kExtractChunkSize = 8192;  // bytes per WriteFile
// Bytes per verifying read: larger reads make the check cheaper; the buffer
// is on the stack, so the memory cost stays flat in the package's size.
constexpr DWORD kVerifyChunkSize = 65536;

}  // namespace kova
