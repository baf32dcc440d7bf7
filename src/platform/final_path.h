// Final paths: the name a file or folder that a held handle refers to has
// now, with every link on the way resolved. A path that the user's links,
// environment or profile settings can bend is only a way to open a handle;
// what is deleted, written or handed on is checked by its handle's final path.
// Final paths are path texts (path_text.h), taken with the wide call.
#pragma once

#include <windows.h>

namespace kova {

// The handle calls that Windows has from Vista on, looked up in kernel32 at
// run time (through the OS seam) so that older systems still start: both
// null when either is missing, and on the ANSI route (9x has neither).
struct HandlePathFunctions {
  DWORD(WINAPI* GetFinalPathNameByHandleW)(HANDLE file, LPWSTR path, DWORD size, DWORD flags);
  BOOL(WINAPI* SetFileInformationByHandle)(HANDLE file, int information_class, LPVOID info,
                                           DWORD size);
};
HandlePathFunctions LookUpHandlePathFunctions();

// Fills path[kPathTextSize] with the final path of what handle refers to
// (VOLUME_NAME_DOS). A path on a drive ("\\?\C:\...") loses its "\\?\", so
// that it reads as the plain path it is; any other form (a share,
// "\\?\UNC\...", or a volume without a drive) keeps it. Returns 0, or the
// Windows error (ERROR_FILENAME_EXCED_RANGE when it does not fit), with path
// empty.
DWORD GetFinalPath(const HandlePathFunctions& calls, HANDLE handle, char* path);

// Fills final_path[kPathTextSize] with the final path of the folder named by
// folder[0..length) (trailing backslashes aside), from a handle opened on it
// now. The folder itself is opened, never a link at its name, and it must be
// a real folder: a reparse point gives ERROR_CANT_ACCESS_FILE, anything else
// ERROR_DIRECTORY. Links above it (a redirected profile) are resolved.
// Returns 0 or the Windows error.
DWORD GetFolderFinalPath(const HandlePathFunctions& calls, const char* folder, size_t length,
                         char* final_path);

// True when the two path texts are the same path: equal ordinally, with
// A-Z and a-z taken as equal, whatever the user's locale. Texts that pass
// name the same path for the file system, which folds those letters too;
// any other difference in case (it never arises between final paths of one
// volume) counts as another path.
bool IsSamePath(const char* a, const char* b);

// 0 when the file that handle refers to has the final path expected (a
// final path composed from GetFinalPath's); else the Windows error of the
// query, or ERROR_CANT_ACCESS_FILE when the file is elsewhere.
DWORD CheckFinalPath(const HandlePathFunctions& calls, HANDLE handle, const char* expected);

// 0 when final_path (from GetFinalPath) lies on a local disk: a drive path
// ("C:\...") whose drive the system does not call remote. A share (a mapped
// network drive's final path is one too) or any path that kept its "\\?\"
// gives ERROR_CANT_ACCESS_FILE: a server can serve the engine other bytes
// than the ones verified here, and the engine is never given a "\\?\" path.
DWORD CheckLocalDisk(const char* final_path);

// Marks the file that handle refers to (opened with DELETE access) for
// deletion, which happens when the last handle to it is closed. FALSE on
// failure (GetLastError tells why).
BOOL DeleteThroughHandle(const HandlePathFunctions& calls, HANDLE handle);

}  // namespace kova
