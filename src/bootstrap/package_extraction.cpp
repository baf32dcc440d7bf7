// The package written from its resource, read back and held.
#include "bootstrap/package_extraction.h"

#include <cstring>

#include "bootstrap/package_path_win32.h"
#include "platform/final_path.h"
#include "platform/os_seam.h"
#include "product/product.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

// The file name at the end of path: what follows its last backslash.
const char* FileNameOf(const char* path) {
  const char* name = path;
  for (const char* c = path; *c != '\0'; ++c) {
    if (*c == '\\') name = c + 1;
  }
  return name;
}

// Reads the file back through handle and compares it with bytes[size]; 0 when
// they are equal to the last byte and the file ends there.
DWORD CompareWithResource(HANDLE file, const BYTE* bytes, DWORD size) {
  BYTE chunk[kVerifyChunkSize];
  DWORD total = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, chunk, sizeof chunk, &read, nullptr)) return GetLastError();
    if (read == 0) break;
    if (read > size - total || std::memcmp(chunk, bytes + total, read) != 0) {
      return ERROR_FILE_CORRUPT;
    }
    total += read;
  }
  return total == size ? 0 : ERROR_FILE_CORRUPT;
}

// A fatal file error as the extraction's outcome.
Extraction Failure(const char* label, DWORD code) { return Extraction{false, {label, code}}; }
Extraction FailWithLastErrorOf(const char* label) {
  return Extraction{false, FailWithLastError(label)};
}

// The labels follow the message's common "Installer : Wrapper." (see fatal_message.h).
constexpr const char* kCreateLabel = "CreateFile ";
constexpr const char* kWriteLabel = "WriteFile (In small chunks) ";
constexpr const char* kCloseLabel = "CloseHandle ";
constexpr const char* kVerifyLabel = "ReadFile ";

// Removes whatever is at path: a file of an earlier run, or a link planted
// there. With the handle calls, what is opened (never through a link at the
// name) is deleted only when its final path is the package's own in folder;
// without them (before Vista), by name. 0 when nothing is left there, else
// the error (ERROR_CANT_ACCESS_FILE: it lies elsewhere).
DWORD RemoveStalePackage(const HandlePathFunctions& calls, const char* path, const char* folder) {
  DWORD error = 0;
  if (calls.GetFinalPathNameByHandleA == nullptr) {
    if (!DeleteFileA(path)) error = GetLastError();
  } else {
    FileHandle stale(Os().CreateFileA(path, DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
    if (!stale.IsOpen()) {
      error = GetLastError();
    } else {
      char final_path[MAX_PATH];
      error = CheckFinalPathIn(calls, stale.Get(), folder, FileNameOf(path), final_path);
      if (error == 0 && !DeleteThroughHandle(calls, stale.Get())) error = GetLastError();
    }
  }  // a file marked for deletion goes when its handle closes, here
  return error == ERROR_FILE_NOT_FOUND ? 0 : error;
}

// Creates the package file anew at path into *file. CREATE_NEW never opens
// an existing file, so the elevated write cannot land in a file someone else
// linked to this name; with the handle calls, the new file's final path must
// also be the package's own in folder, or the file is deleted again through
// its handle (ERROR_CANT_ACCESS_FILE). 0 or the error.
DWORD CreatePackageFile(const HandlePathFunctions& calls, const char* path, const char* folder,
                        FileHandle* file) {
  const DWORD access = calls.GetFinalPathNameByHandleA == nullptr ? GENERIC_WRITE
                                                                   : GENERIC_WRITE | DELETE;
  file->Reset(Os().CreateFileA(path, access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
  if (!file->IsOpen()) return GetLastError();
  if (calls.GetFinalPathNameByHandleA == nullptr) return 0;
  char final_path[MAX_PATH];
  const DWORD error = CheckFinalPathIn(calls, file->Get(), folder, FileNameOf(path), final_path);
  if (error != 0) {
    DeleteThroughHandle(calls, file->Get());
    file->Close();
  }
  return error;
}

}  // namespace

Extraction ExtractResourceToFile(HMODULE module, int resource_id, char* path, DWORD folder_error,
                                 FileHandle* verified) {
  verified->Close();
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(resource_id), kPackageResourceType);
  if (resource == nullptr) return Extraction{};
  DWORD size = SizeofResource(module, resource);
  const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
  if (bytes == nullptr && size != 0) return FailWithLastErrorOf("LoadResource ");

  if (path[0] == '\0') {  // GetPackagePath could not fit the chain into MAX_PATH
    return Failure(kCreateLabel, ERROR_FILENAME_EXCED_RANGE);
  }
  DWORD error = folder_error != 0 ? folder_error : CheckFolderChain(path);
  // From here on the folder is known by its final path, taken once from a
  // handle, and every file below it is checked against that by its own
  // handle: a link planted after the check bends nothing unseen.
  const HandlePathFunctions calls = LookUpHandlePathFunctions();
  char folder[MAX_PATH];
  folder[0] = '\0';
  if (error == 0 && calls.GetFinalPathNameByHandleA != nullptr) {
    const size_t name_at = static_cast<size_t>(FileNameOf(path) - path);
    // The folder's name: the path before the backslash ahead of the file name.
    error = GetFolderFinalPath(calls, path, name_at != 0 ? name_at - 1 : 0, folder);
  }
  // Whatever is at the name goes first, then the file is made anew.
  if (error == 0) error = RemoveStalePackage(calls, path, folder);
  FileHandle file;
  if (error == 0) error = CreatePackageFile(calls, path, folder, &file);
  if (error != 0) return Failure(kCreateLabel, error);

  // The bytes go straight from the mapped resource to the file.
  DWORD total = 0;
  while (total < size) {
    DWORD chunk = size - total < kExtractChunkSize ? size - total : kExtractChunkSize;
    DWORD written = 0;
    if (!Os().WriteFile(file.Get(), bytes + total, chunk, &written, nullptr)) {
      return FailWithLastErrorOf(kWriteLabel);
    }
    if (written == 0 || written > chunk) {
      // A write that reports success but makes no progress would loop forever.
      return Failure(kWriteLabel, ERROR_WRITE_FAULT);
    }
    total += written;
  }
  if (!file.Close()) return FailWithLastErrorOf(kCloseLabel);

  // Read-only, shared with readers only, and not through a link: from here
  // on nobody can write to, replace or rename the file while it is held, and
  // what is held is checked to be exactly the resource.
  verified->Reset(Os().CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                                       FILE_FLAG_SEQUENTIAL_SCAN,
                                   nullptr));
  if (!verified->IsOpen()) return FailWithLastErrorOf(kCreateLabel);
  error = CompareWithResource(verified->Get(), bytes, size);
  if (error != 0) {
    verified->Close();
    return Failure(kVerifyLabel, error);
  }
  // The engine is handed the held, verified file by its final path, which no
  // link can re-point later (and on Windows the held handle keeps each folder
  // of it from being renamed). Before Vista, the path as it was built.
  if (calls.GetFinalPathNameByHandleA != nullptr) {
    char final_path[MAX_PATH];
    error = CheckFinalPathIn(calls, verified->Get(), folder, FileNameOf(path), final_path);
    if (error != 0) {
      verified->Close();
      return Failure(kCreateLabel, error);
    }
    TextCopy(path, MAX_PATH, final_path);
  }
  return Extraction{true, {}};
}

}  // namespace kova
