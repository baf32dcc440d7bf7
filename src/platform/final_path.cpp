#include "platform/final_path.h"

#include "platform/file_handle.h"
#include "platform/os_seam.h"
#include "platform/path_text.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

constexpr DWORD kVolumeNameDos = 0;        // VOLUME_NAME_DOS: "\\?\C:\..."
constexpr int kFileDispositionInfo = 4;    // FILE_INFO_BY_HANDLE_CLASS's FileDispositionInfo

template <typename Fn>
void LookUp(HMODULE module, const char* name, Fn* fn) {
  *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(Os().GetProcAddress(module, name)));
}

}  // namespace

HandlePathFunctions LookUpHandlePathFunctions() {
  HandlePathFunctions calls = {};
  // Loaded with the process (a static import): no load by name happens here.
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  if (kernel32 == nullptr || !UsesWidePaths()) return calls;
  LookUp(kernel32, "GetFinalPathNameByHandleW", &calls.GetFinalPathNameByHandleW);
  LookUp(kernel32, "SetFileInformationByHandle", &calls.SetFileInformationByHandle);
  if (calls.GetFinalPathNameByHandleW == nullptr || calls.SetFileInformationByHandle == nullptr) {
    calls = {};
  }
  return calls;
}

DWORD GetFinalPath(const HandlePathFunctions& calls, HANDLE handle, char* path) {
  WCHAR wide[kWidePathSize];
  // The size it would need (kWidePathSize or more) when it does not fit.
  const DWORD length =
      calls.GetFinalPathNameByHandleW(handle, wide, kWidePathSize, kVolumeNameDos);
  DWORD error = length == 0 ? GetLastError() : static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE);
  if (length != 0 && length < kWidePathSize) {
    // The answer starts with "\\?\"; a path on a drive ("\\?\C:\...", its
    // colon at index 5) loses it, so that it reads as the plain path it is
    // (at most MAX_PATH - 1 units then).
    const bool drive = length > 5 && wide[2] == L'?' && wide[5] == L':';
    if (FromWide(drive ? wide + 4 : wide, path, kPathTextSize)) return 0;
  }
  path[0] = '\0';
  return error;
}

DWORD GetFolderFinalPath(const HandlePathFunctions& calls, const char* folder, size_t length,
                         char* final_path) {
  // The name is put together in final_path, which the query then overwrites.
  while (length > 3 && folder[length - 1] == '\\') --length;  // "C:\" keeps its backslash
  if (!TextCopyN(final_path, kPathTextSize, folder, length)) return ERROR_FILENAME_EXCED_RANGE;
  const DWORD attributes = PathAttributes(final_path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return ERROR_CANT_ACCESS_FILE;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
  FileHandle handle(OpenPath(final_path, FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
  if (!handle.IsOpen()) return GetLastError();
  return GetFinalPath(calls, handle.Get(), final_path);
}

bool IsSamePath(const char* a, const char* b) { return TextCompareFoldingAscii(a, b) == 0; }

DWORD CheckFinalPath(const HandlePathFunctions& calls, HANDLE handle, const char* expected) {
  char path[kPathTextSize];
  const DWORD error = GetFinalPath(calls, handle, path);
  if (error != 0) return error;
  return IsSamePath(path, expected) ? 0 : static_cast<DWORD>(ERROR_CANT_ACCESS_FILE);
}

DWORD CheckLocalDisk(const char* final_path) {
  // "C:\": the drive's root, as GetDriveTypeW takes it. A path that is no
  // drive path ("\\?\UNC\...") has no colon there.
  WCHAR root[] = L"?:\\";
  root[0] = static_cast<unsigned char>(final_path[0]);
  return final_path[1] == ':' && GetDriveTypeW(root) != DRIVE_REMOTE
             ? 0
             : static_cast<DWORD>(ERROR_CANT_ACCESS_FILE);
}

BOOL DeleteThroughHandle(const HandlePathFunctions& calls, HANDLE handle) {
  BOOLEAN delete_file = TRUE;  // FILE_DISPOSITION_INFO
  return calls.SetFileInformationByHandle(handle, kFileDispositionInfo, &delete_file,
                                          sizeof delete_file);
}

}  // namespace kova
