// Writing the package carried as a resource to a per-user folder, and holding
// it, verified, until the engine has read it.
#pragma once

#include <windows.h>

#include "platform/file_handle.h"

namespace kova {

// A fatal file error on the way to the package: the operation's label (what
// follows "Installer : Wrapper." in the message, e.g. "CreateFile ") and the
// Windows error code. It travels up to the entry point, which shows it
// (ShowFatalError) and ends the process with the code; label null: none.
struct FatalError {
  const char* label = nullptr;
  DWORD code = 0;
};

// IsVistaFamily's answer, asked of the system once. The main sequence holds
// the one of the run.
struct VersionCache {
  DWORD tested = 0;
  DWORD result = 0;
};

// Fills path[MAX_PATH] with the package file's full path, creating the data
// folder and the chain's folders on the way. Returns 0, or the first error a
// folder met: its creation failed (other than its being there already), or
// what is there is no plain folder (a reparse point: 1920; a file: 267);
// after that no further folder is created. When the data folder is too long
// for the chain, path is left empty, and ExtractResourceToFile then fails as
// a file name too long (206).
DWORD GetPackagePath(char* path, VersionCache* cache);
void GetUserDataFolder(char* path, VersionCache* cache);
// Windows NT 6.x; asked once, then answered from cache.
bool IsVistaFamily(VersionCache* cache);
void GetLocalLowFolder(char* path);
void GetProfileFolder(char* path);

// Copies the resource (module, id, type) to path[MAX_PATH] in chunks of at
// most 8192 bytes, then reopens the file for reading with sharing for readers
// only, compares it with the resource and leaves that handle in *verified,
// so that nobody can change or replace the file while it is held. Where the
// system has GetFinalPathNameByHandleA (Vista on), the stale file's removal,
// the new file and the verified one are each checked through their handles
// to lie in the package folder's final path, and path becomes the verified
// file's final path (links resolved), the name the engine is given.
// Returns 1 when the file was written and verified; 0 when there is no such
// resource (fatal untouched) or on a fatal file error (*fatal filled):
//  - folder_error (from GetPackagePath) is not 0: that error;
//  - the file's folder or one of the three above it (the data folder and the
//    chain's own) is missing, not a folder, or a reparse point (junction,
//    symbolic link, mount point): the check's error, or 1920 for a reparse point;
//  - the file cannot be replaced, created, written, closed or reopened: the
//    Windows error of that call;
//  - a file checked by its handle lies outside the package folder: 1920;
//  - the reopened file differs from the resource: 1392 (ERROR_FILE_CORRUPT).
int ExtractResourceToFile(HMODULE module, int resource_id, const char* resource_type,
                          char* path, DWORD folder_error, FileHandle* verified,
                          FatalError* fatal);

// The fatal error for the last Windows error of the operation label names.
FatalError FailWithLastError(const char* label);
// Shows "Installer : Wrapper.<label> failed with error <n>: <system text>"
// (caption "Error").
void ShowFatalError(const FatalError& error);

constexpr DWORD kExtractChunkSize = 8192;  // bytes per WriteFile
// Bytes per verifying read: larger reads make the check cheaper; the buffer
// is on the stack, so the memory cost stays flat in the package's size.
constexpr DWORD kVerifyChunkSize = 65536;
// Folders checked above the package file: its own and the three above it.
constexpr int kCheckedFolderLevels = 4;

}  // namespace kova
