// The package written from its resource, read back and held.
#include "bootstrap/package_extraction.h"

#include <cstring>

#include "bootstrap/package_path_win32.h"
#include "platform/final_path.h"
#include "platform/os_seam.h"
#include "platform/path_text.h"
#include "product/product.h"

namespace kova {

namespace {

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
constexpr const char* kCreateLabel = kCreateFileLabel;
constexpr const char* kWriteLabel = "WriteFile (In small chunks) ";
constexpr const char* kCloseLabel = "CloseHandle ";
constexpr const char* kVerifyLabel = "ReadFile ";

constexpr int kFileBasicInfo = 0;  // FILE_INFO_BY_HANDLE_CLASS's FileBasicInfo
// FILE_BASIC_INFO (Vista on, so not in this build's headers).
struct FileBasicInfo {
  LARGE_INTEGER times[4];  // creation, last access, last write, change: 0 keeps each
  DWORD attributes;
};

// Clears every attribute of the file that handle refers to (opened with
// FILE_WRITE_ATTRIBUTES), read-only above all: a stale package marked so
// (copied from a medium, or by a tool) could never be deleted otherwise.
void ClearAttributes(const HandlePathFunctions& calls, HANDLE handle) {
  FileBasicInfo basic = {};
  basic.attributes = FILE_ATTRIBUTE_NORMAL;
  calls.SetFileInformationByHandle(handle, kFileBasicInfo, &basic, sizeof basic);
}

// Removes whatever is at location.path: a file of an earlier run, or a link
// planted there. With the handle calls, what is opened (never through a link
// at the name) is deleted only when its final path is location.file, and a
// read-only mark is cleared first; without them (before Vista), by name. 0
// when nothing is left there, else the error (ERROR_CANT_ACCESS_FILE: it
// lies elsewhere).
DWORD RemoveStalePackage(const HandlePathFunctions& calls, const PackageLocation& location) {
  DWORD error = 0;
  if (calls.GetFinalPathNameByHandleW == nullptr) {
    if (!DeletePath(location.path)) error = GetLastError();
  } else {
    FileHandle stale(OpenPath(location.path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT));
    if (!stale.IsOpen()) {
      error = GetLastError();
    } else {
      error = CheckFinalPath(calls, stale.Get(), location.file);
      if (error == 0) {
        ClearAttributes(calls, stale.Get());
        if (!DeleteThroughHandle(calls, stale.Get())) error = GetLastError();
      }
    }
  }  // a file marked for deletion goes when its handle closes, here
  return error == ERROR_FILE_NOT_FOUND ? 0 : error;
}

// Creates the package file anew at location.path into *file. CREATE_NEW
// never opens an existing file, so the elevated write cannot land in a file
// someone else linked to this name; with the handle calls, the new file's
// final path must also be location.file, or the file is deleted again
// through its handle (ERROR_CANT_ACCESS_FILE). 0 or the error.
DWORD CreatePackageFile(const HandlePathFunctions& calls, const PackageLocation& location,
                        FileHandle* file) {
  const DWORD access = calls.GetFinalPathNameByHandleW == nullptr ? GENERIC_WRITE
                                                                   : GENERIC_WRITE | DELETE;
  file->Reset(OpenPath(location.path, access, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL));
  if (!file->IsOpen()) return GetLastError();
  if (calls.GetFinalPathNameByHandleW == nullptr) return 0;
  const DWORD error = CheckFinalPath(calls, file->Get(), location.file);
  if (error != 0) {
    DeleteThroughHandle(calls, file->Get());
    file->Close();
  }
  return error;
}

// Writes bytes[size] through file, the new package file, straight from the
// mapped resource, closes it, then reopens it into *verified and checks it:
// Extraction{true} when all went well, else the first failure, with the
// handles as they were left.
Extraction WriteAndVerify(const HandlePathFunctions& calls, const PackageLocation& location,
                          const BYTE* bytes, DWORD size, FileHandle* file, FileHandle* verified) {
  DWORD total = 0;
  while (total < size) {
    DWORD chunk = size - total < kExtractChunkSize ? size - total : kExtractChunkSize;
    DWORD written = 0;
    if (!Os().WriteFile(file->Get(), bytes + total, chunk, &written, nullptr)) {
      return FailWithLastErrorOf(kWriteLabel);
    }
    if (written == 0 || written > chunk) {
      // A write that reports success but makes no progress would loop forever.
      return Failure(kWriteLabel, ERROR_WRITE_FAULT);
    }
    total += written;
  }
  if (!file->Close()) return FailWithLastErrorOf(kCloseLabel);

  // Read-only, shared with readers only, and not through a link: from here
  // on nobody can write to, replace or rename the file while it is held, and
  // what is held is checked to be exactly the resource, at location.file.
  verified->Reset(OpenPath(location.path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                               FILE_FLAG_SEQUENTIAL_SCAN));
  if (!verified->IsOpen()) return FailWithLastErrorOf(kCreateLabel);
  DWORD error = CompareWithResource(verified->Get(), bytes, size);
  if (error != 0) return Failure(kVerifyLabel, error);
  if (calls.GetFinalPathNameByHandleW != nullptr) {
    error = CheckFinalPath(calls, verified->Get(), location.file);
    if (error != 0) return Failure(kCreateLabel, error);
  }
  return Extraction{true, {}};
}

}  // namespace

Extraction ExtractResourceToFile(HMODULE module, int resource_id, const PackageLocation& location,
                                 DWORD folder_error, FileHandle* verified) {
  verified->Close();
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(resource_id), kPackageResourceType);
  if (resource == nullptr) return Extraction{};
  DWORD size = SizeofResource(module, resource);
  const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
  if (bytes == nullptr && size != 0) return FailWithLastErrorOf("LoadResource ");

  if (location.path[0] == '\0') {  // GetPackagePath could not fit the chain into a path
    return Failure(kCreateLabel, ERROR_FILENAME_EXCED_RANGE);
  }
  DWORD error = folder_error;
  // location.file was composed from the package folder's final path, taken
  // once from a handle; every file below it is checked against that by its
  // own handle: a link planted after the check bends nothing unseen.
  const HandlePathFunctions calls = LookUpHandlePathFunctions();
  // Whatever is at the name goes first, then the file is made anew.
  if (error == 0) error = RemoveStalePackage(calls, location);
  FileHandle file;
  if (error == 0) error = CreatePackageFile(calls, location, &file);
  if (error != 0) return Failure(kCreateLabel, error);

  const Extraction extraction = WriteAndVerify(calls, location, bytes, size, &file, verified);
  if (!extraction.written) {
    // A file this run created and could not finish is taken back: through
    // its creation handle while that is still open, else (its close or
    // check failed) as a stale file is removed. The run ends with the first
    // error all the same.
    verified->Close();
    if (file.IsOpen() && calls.GetFinalPathNameByHandleW != nullptr) {
      DeleteThroughHandle(calls, file.Get());
    }
    file.Close();
    RemoveStalePackage(calls, location);
  }
  return extraction;
}

DWORD CheckPackageIdentity(const char* path, HANDLE verified) {
  FileHandle named(OpenPath(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
  BY_HANDLE_FILE_INFORMATION a;
  BY_HANDLE_FILE_INFORMATION b;
  if (!named.IsOpen() || !GetFileInformationByHandle(named.Get(), &a) ||
      !GetFileInformationByHandle(verified, &b) ||
      a.dwVolumeSerialNumber != b.dwVolumeSerialNumber || a.nFileIndexHigh != b.nFileIndexHigh ||
      a.nFileIndexLow != b.nFileIndexLow) {
    return ERROR_CANT_ACCESS_FILE;
  }
  return 0;
}

}  // namespace kova
