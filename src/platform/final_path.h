// Final paths: the name a file or folder that a held handle refers to has
// now, with every link on the way resolved. A path that the user's links,
// environment or profile settings can bend is only a way to open a handle;
// what is deleted, written or handed on is checked by its handle's final path.
#pragma once

#include <windows.h>

namespace kova {

// The handle calls that Windows has from Vista on, looked up in kernel32 at
// run time (through the OS seam) so that older systems still start: both
// null when either is missing.
struct HandlePathFunctions {
  DWORD(WINAPI* GetFinalPathNameByHandleA)(HANDLE file, LPSTR path, DWORD size, DWORD flags);
  BOOL(WINAPI* SetFileInformationByHandle)(HANDLE file, int information_class, LPVOID info,
                                           DWORD size);
};
HandlePathFunctions LookUpHandlePathFunctions();

// Fills path[MAX_PATH] with the final path of what handle refers to
// (VOLUME_NAME_DOS). A path on a drive ("\\?\C:\...") loses its "\\?\", so
// that it reads as the plain path it is; any other form keeps it. Returns 0,
// or the Windows error (ERROR_FILENAME_EXCED_RANGE when it does not fit),
// with path empty.
DWORD GetFinalPath(const HandlePathFunctions& calls, HANDLE handle, char* path);

// Fills final_path[MAX_PATH] with the final path of the folder named by
// folder[0..length) (trailing backslashes aside), from a handle opened on it
// now. The folder itself is opened, never a link at its name, and it must be
// a real folder: a reparse point gives ERROR_CANT_ACCESS_FILE, anything else
// ERROR_DIRECTORY. Links above it (a redirected profile) are resolved.
// Returns 0 or the Windows error.
DWORD GetFolderFinalPath(const HandlePathFunctions& calls, const char* folder, size_t length,
                         char* final_path);

// 0 when the file that handle refers to has the final path
// "<folder>\<name>" (compared without case), folder being a final path from
// GetFinalPath; else the Windows error of the query, or ERROR_CANT_ACCESS_FILE
// when the file is elsewhere. On success path[MAX_PATH] holds that final path.
DWORD CheckFinalPathIn(const HandlePathFunctions& calls, HANDLE handle, const char* folder,
                       const char* name, char* path);

// Marks the file that handle refers to (opened with DELETE access) for
// deletion, which happens when the last handle to it is closed. FALSE on
// failure (GetLastError tells why).
BOOL DeleteThroughHandle(const HandlePathFunctions& calls, HANDLE handle);

}  // namespace kova
