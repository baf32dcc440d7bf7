#include "platform/final_path.h"

#include "platform/file_handle.h"
#include "platform/os_seam.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

constexpr DWORD kVolumeNameDos = 0;        // VOLUME_NAME_DOS: "\\?\C:\..."
constexpr int kFileDispositionInfo = 4;    // FILE_INFO_BY_HANDLE_CLASS's FileDispositionInfo

}  // namespace

HandlePathFunctions LookUpHandlePathFunctions() {
  HandlePathFunctions calls = {};
  // Loaded with the process (a static import): no load by name happens here.
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  if (kernel32 == nullptr) return calls;
  calls.GetFinalPathNameByHandleA = reinterpret_cast<decltype(calls.GetFinalPathNameByHandleA)>(
      reinterpret_cast<void*>(Os().GetProcAddress(kernel32, "GetFinalPathNameByHandleA")));
  calls.SetFileInformationByHandle = reinterpret_cast<decltype(calls.SetFileInformationByHandle)>(
      reinterpret_cast<void*>(Os().GetProcAddress(kernel32, "SetFileInformationByHandle")));
  if (calls.GetFinalPathNameByHandleA == nullptr || calls.SetFileInformationByHandle == nullptr) {
    calls = {};
  }
  return calls;
}

DWORD GetFinalPath(const HandlePathFunctions& calls, HANDLE handle, char* path) {
  // The size it would need (MAX_PATH or more) when it does not fit.
  const DWORD length = calls.GetFinalPathNameByHandleA(handle, path, MAX_PATH, kVolumeNameDos);
  if (length == 0 || length >= MAX_PATH) {
    path[0] = '\0';
    return length == 0 ? GetLastError() : static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE);
  }
  // The answer starts with "\\?\"; a path on a drive ("\\?\C:\...", its
  // colon at index 5) loses it, so that it reads as the plain path it is.
  // The text moves down within the buffer.
  if (length > 5 && path[2] == '?' && path[5] == ':') TextCopy(path, MAX_PATH, path + 4);
  return 0;
}

DWORD GetFolderFinalPath(const HandlePathFunctions& calls, const char* folder, size_t length,
                         char* final_path) {
  // The name is put together in final_path, which the query then overwrites.
  while (length > 3 && folder[length - 1] == '\\') --length;  // "C:\" keeps its backslash
  if (!TextCopyN(final_path, MAX_PATH, folder, length)) return ERROR_FILENAME_EXCED_RANGE;
  const DWORD attributes = GetFileAttributesA(final_path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return ERROR_CANT_ACCESS_FILE;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
  FileHandle handle(Os().CreateFileA(final_path, FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                     nullptr));
  if (!handle.IsOpen()) return GetLastError();
  return GetFinalPath(calls, handle.Get(), final_path);
}

DWORD CheckFinalPathIn(const HandlePathFunctions& calls, HANDLE handle, const char* folder,
                       const char* name, char* path) {
  char expected[MAX_PATH];
  if (!TextFormat(expected, sizeof expected, "%s\\%s", folder, name)) {
    return ERROR_FILENAME_EXCED_RANGE;
  }
  const DWORD error = GetFinalPath(calls, handle, path);
  if (error != 0) return error;
  return lstrcmpiA(path, expected) == 0 ? 0 : static_cast<DWORD>(ERROR_CANT_ACCESS_FILE);
}

BOOL DeleteThroughHandle(const HandlePathFunctions& calls, HANDLE handle) {
  BOOLEAN delete_file = TRUE;  // FILE_DISPOSITION_INFO
  return calls.SetFileInformationByHandle(handle, kFileDispositionInfo, &delete_file,
                                          sizeof delete_file);
}

}  // namespace kova
