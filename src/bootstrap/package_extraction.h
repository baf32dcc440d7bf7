// Writing the package carried as a resource to a per-user folder.
#pragma once

#include <windows.h>

namespace kova {

// Fills path[MAX_PATH] with the package file's full path, creating the folders
// on the way. When the data folder is too long for the chain, path is left
// empty, and ExtractResourceToFile then fails as a file name too long (206).
void GetPackagePath(char* path);
void GetUserDataFolder(char* path);
// Windows NT 6.x; asked once per process.
bool IsVistaFamily();
// Forgets the cached answer of IsVistaFamily, for a process that changes what the system reports.
void ResetVistaFamilyCache();
void GetLocalLowFolder(char* path);
void GetProfileFolder(char* path);

// Copies the resource (module, id, type) to path in chunks of at most 8192 bytes.
// Returns 1 when the file was written and closed, 0 when there is no such
// resource; a file error does not return (FailWithLastError).
int ExtractResourceToFile(HMODULE module, int resource_id, const char* resource_type,
                          const char* path);

// Shows "<label> failed with error <n>: <system text>" and ends the process with n.
[[noreturn]] void FailWithLastError(const char* label);

constexpr DWORD kExtractChunkSize = 8192;  // bytes per WriteFile

}  // namespace kova
