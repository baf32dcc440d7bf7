// The package's folder chain: each folder made where missing and checked to
// be a plain folder before anything is written below it.
#include "bootstrap/package_path_win32.h"

#include "bootstrap/package_path.h"
#include "platform/final_path.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

// Creates the folder at path, whose only tolerated failure is its being
// there already (a drive's root answers "access denied" rather than
// "exists"); returns 0 or the creation's error.
DWORD CreateFolder(const char* path) {
  if (MakeFolder(path)) return 0;
  const DWORD error = GetLastError();
  const DWORD attributes = PathAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return error;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return 0;
  // A file where the folder belongs: the folder is missing, and the error is
  // the one creating the package file below it would give.
  return ERROR_PATH_NOT_FOUND;
}

// 0 when folder[0..length) is a real folder; else the error to end with. A
// reparse point (a junction or a symbolic link, which Wine shows for a Unix
// symlink too) could send the elevated write, or the engine, anywhere.
DWORD CheckFolder(char* folder, size_t length) {
  const char kept = folder[length];
  folder[length] = '\0';
  const DWORD attributes = PathAttributes(folder);
  const DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0;
  folder[length] = kept;
  if (attributes == INVALID_FILE_ATTRIBUTES) return error != 0 ? error : ERROR_PATH_NOT_FOUND;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return ERROR_CANT_ACCESS_FILE;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
  return 0;
}

// Creates the folder at path when it is missing and checks what is there.
// The check asks for the name without a trailing backslash: with one, the
// answer is about a link's target (so Wine answers for a Unix symlink).
DWORD PrepareFolder(char* path) {
  const DWORD error = CreateFolder(path);
  if (error != 0) return error;
  size_t length = TextLength(path);
  if (length > 0 && path[length - 1] == '\\') --length;
  return CheckFolder(path, length);
}

}  // namespace

DWORD GetPackagePath(PackageLocation* location, VersionCache* cache) {
  char* path = location->path;
  char* file = location->file;
  GetUserDataFolder(path, cache);
  DWORD error = PrepareFolder(path);
  // The data folder's final path, taken before anything is made below it;
  // later the package folder's expected final path, composed on it as path
  // is composed on the data folder.
  const HandlePathFunctions calls = LookUpHandlePathFunctions();
  const bool final_paths = calls.GetFinalPathNameByHandleW != nullptr;
  char expected[kPathTextSize];
  if (error == 0 && final_paths) {
    error = GetFolderFinalPath(calls, path, TextLength(path), expected);
    if (error == 0) error = CheckLocalDisk(expected);
    // A drive's root ("D:\") as the data folder: the chain adds its own
    // backslash.
    const size_t length = TextLength(expected);
    if (length > 0 && expected[length - 1] == '\\') expected[length - 1] = '\0';
  }
  size_t folder_length = 0;
  for (int step = 0; step < kPackagePathSteps; ++step) {
    if (!ExtendPackagePath(path, kPathTextSize, step) || !FitsPath(path)) {
      path[0] = '\0';  // a cut path must never name a file
      file[0] = '\0';
      return error;
    }
    if (step < kPackagePathFolderSteps) {
      // After a failure nothing more is created: a folder below a link would
      // be created wherever the link points.
      if (error == 0) error = PrepareFolder(path);
      if (final_paths) ExtendPackagePath(expected, sizeof expected, step);
      folder_length = TextLength(path);
    }
  }
  TextCopy(file, kPathTextSize, path);
  if (error != 0 || !final_paths) return error;
  // The package folder by a handle on it now; the file's final path is then
  // that folder's with the file name.
  error = GetFolderFinalPath(calls, path, folder_length, file);
  if (error == 0 && !IsSamePath(file, expected)) error = ERROR_CANT_ACCESS_FILE;
  if (error == 0 && !ExtendPackagePath(file, kPathTextSize, kPackagePathFolderSteps)) {
    error = ERROR_FILENAME_EXCED_RANGE;
  }
  return error;
}

}  // namespace kova
