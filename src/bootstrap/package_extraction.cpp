#include "bootstrap/package_extraction.h"

#include <shlobj.h>

#include <cstring>

#include "bootstrap/fatal_message.h"
#include "bootstrap/package_path.h"
#include "platform/final_path.h"
#include "platform/os_seam.h"
#include "platform/os_version.h"
#include "platform/system_library.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

// FOLDERID_LocalAppDataLow, {A520A1A4-1780-4FF6-BD18-167343C5AF16}.
const GUID kFolderIdLocalAppDataLow = {
    0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16}};

using SHGetFolderPathExFn = HRESULT(WINAPI*)(const GUID* folder, DWORD flags, HANDLE token,
                                             LPWSTR path, UINT path_chars);
using SHGetFolderPathAFn = HRESULT(WINAPI*)(HWND owner, int csidl, HANDLE token, DWORD flags,
                                            LPSTR path);
using SHGetSpecialFolderPathAFn = BOOL(WINAPI*)(HWND owner, LPSTR path, int csidl, BOOL create);

constexpr int kCsidlAppData = 26;  // the roaming application data folder

}  // namespace

bool IsVistaFamily(VersionCache* cache) {
  if (cache->tested == 0) {
    OSVERSIONINFOEXA info;
    QueryOsVersion(&info);
    cache->result = info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion == 6;
    cache->tested = 1;
  }
  return cache->result != 0;
}

void GetLocalLowFolder(char* path) {
  SystemLibrary shell32("shell32.dll");
  // Null too when shell32 could not be loaded.
  auto get_folder = shell32.FindAs<SHGetFolderPathExFn>("SHGetFolderPathEx");
  if (get_folder == nullptr) return;
  WCHAR wide[MAX_PATH];
  wide[0] = L'\0';
  if (get_folder(&kFolderIdLocalAppDataLow, 0, nullptr, wide, MAX_PATH) == S_OK) {
    wide[MAX_PATH - 1] = L'\0';
    // 0 means the text did not fit or could not be converted: leave nothing behind.
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, path, MAX_PATH, nullptr, nullptr) == 0) {
      path[0] = '\0';
    }
  }
}

void GetProfileFolder(char* path) {
  DWORD n = GetEnvironmentVariableA("USERPROFILE", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {  // unset, or the size a longer value would need
    UINT w = GetWindowsDirectoryA(path, MAX_PATH);
    if (w == 0 || w >= MAX_PATH) path[0] = '\0';
  }
}

void GetUserDataFolder(char* path, VersionCache* cache) {
  path[0] = '\0';
  if (IsVistaFamily(cache)) {
    GetLocalLowFolder(path);
  } else {
    SystemLibrary shfolder("shfolder.dll");
    if (shfolder.Loaded()) {
      auto get_folder = shfolder.FindAs<SHGetFolderPathAFn>("SHGetFolderPathA");
      if (get_folder != nullptr) {
        if (FAILED(get_folder(nullptr, kCsidlAppData, nullptr, 0, path))) path[0] = '\0';
      } else {
        GetProfileFolder(path);
      }
    } else {
      SystemLibrary shell32("shell32.dll");
      auto get_folder = shell32.FindAs<SHGetSpecialFolderPathAFn>("SHGetSpecialFolderPathA");
      if (get_folder != nullptr) {
        if (!get_folder(nullptr, path, kCsidlAppData, TRUE)) path[0] = '\0';
      } else {
        GetProfileFolder(path);
      }
    }
  }
  // A folder query that was found but failed leaves nothing; the profile
  // folder is then a better home than a path relative to the current drive.
  path[MAX_PATH - 1] = '\0';
  if (path[0] == '\0') GetProfileFolder(path);
}

namespace {

// CreateDirectoryA whose only tolerated failure is a folder being there
// already (a drive's root answers "access denied" rather than "exists");
// returns 0 or the creation's error.
DWORD CreateFolder(const char* path) {
  if (CreateDirectoryA(path, nullptr)) return 0;
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesA(path);
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
  const DWORD attributes = GetFileAttributesA(folder);
  const DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0;
  folder[length] = kept;
  if (attributes == INVALID_FILE_ATTRIBUTES) return error != 0 ? error : ERROR_PATH_NOT_FOUND;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return ERROR_CANT_ACCESS_FILE;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
  return 0;
}

// Checks the folder that holds the file at path and the levels above it, up
// to kCheckedFolderLevels (the data folder and the chain's own), stopping
// before a drive ("C:").
DWORD CheckFolderChain(const char* path) {
  char folder[MAX_PATH];
  if (!TextCopy(folder, sizeof folder, path)) return ERROR_FILENAME_EXCED_RANGE;
  size_t end = TextLength(folder);
  for (int level = 0; level < kCheckedFolderLevels; ++level) {
    while (end > 0 && folder[end - 1] != '\\') --end;
    if (end <= 3) break;  // nothing, or only "C:\" is left
    --end;                // the folder ends before its backslash
    const DWORD error = CheckFolder(folder, end);
    if (error != 0) return error;
  }
  return 0;
}

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

FatalError Failure(const char* label, DWORD code) { return FatalError{label, code}; }

// The labels follow the message's common "Installer : Wrapper." (see fatal_message.h).
constexpr const char* kCreateLabel = "CreateFile ";
constexpr const char* kWriteLabel = "WriteFile (In small chunks) ";
constexpr const char* kCloseLabel = "CloseHandle ";
constexpr const char* kVerifyLabel = "ReadFile ";

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

DWORD GetPackagePath(char* path, VersionCache* cache) {
  GetUserDataFolder(path, cache);
  DWORD error = PrepareFolder(path);
  for (int step = 0; step < kPackagePathSteps; ++step) {
    if (!ExtendPackagePath(path, MAX_PATH, step)) return error;  // path is now empty
    // After a failure nothing more is created: a folder below a link would
    // be created wherever the link points.
    if (step < kPackagePathFolderSteps && error == 0) error = PrepareFolder(path);
  }
  return error;
}

FatalError FailWithLastError(const char* label) { return Failure(label, GetLastError()); }

void ShowFatalError(const FatalError& error) {
  char* system_text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error.code,
                 LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&system_text), 0, nullptr);
  size_t size = FatalMessageSize(error.label, system_text);
  char* text = static_cast<char*>(LocalAlloc(LMEM_ZEROINIT, size));
  if (text != nullptr) {
    FormatFatalMessage(text, size, error.label, static_cast<int32_t>(error.code), system_text);
    Os().MessageBoxA(nullptr, text, "Error", MB_OK);
    LocalFree(text);
  }
  if (system_text != nullptr) LocalFree(system_text);
}

int ExtractResourceToFile(HMODULE module, int resource_id, const char* resource_type,
                          char* path, DWORD folder_error, FileHandle* verified,
                          FatalError* fatal) {
  verified->Close();
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(resource_id), resource_type);
  if (resource == nullptr) return 0;
  DWORD size = SizeofResource(module, resource);
  const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
  if (bytes == nullptr && size != 0) {
    *fatal = FailWithLastError("LoadResource ");
    return 0;
  }

  if (path[0] == '\0') {  // GetPackagePath could not fit the chain into MAX_PATH
    *fatal = Failure(kCreateLabel, ERROR_FILENAME_EXCED_RANGE);
    return 0;
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
  if (error != 0) {
    *fatal = Failure(kCreateLabel, error);
    return 0;
  }

  // The bytes go straight from the mapped resource to the file.
  DWORD total = 0;
  while (total < size) {
    DWORD chunk = size - total < kExtractChunkSize ? size - total : kExtractChunkSize;
    DWORD written = 0;
    if (!Os().WriteFile(file.Get(), bytes + total, chunk, &written, nullptr)) {
      *fatal = FailWithLastError(kWriteLabel);
      return 0;
    }
    if (written == 0 || written > chunk) {
      // A write that reports success but makes no progress would loop forever.
      *fatal = Failure(kWriteLabel, ERROR_WRITE_FAULT);
      return 0;
    }
    total += written;
  }
  if (!file.Close()) {
    *fatal = FailWithLastError(kCloseLabel);
    return 0;
  }

  // Read-only, shared with readers only, and not through a link: from here
  // on nobody can write to, replace or rename the file while it is held, and
  // what is held is checked to be exactly the resource.
  verified->Reset(Os().CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                                       FILE_FLAG_SEQUENTIAL_SCAN,
                                   nullptr));
  if (!verified->IsOpen()) {
    *fatal = FailWithLastError(kCreateLabel);
    return 0;
  }
  error = CompareWithResource(verified->Get(), bytes, size);
  if (error != 0) {
    verified->Close();
    *fatal = Failure(kVerifyLabel, error);
    return 0;
  }
  // The engine is handed the held, verified file by its final path, which no
  // link can re-point later (and on Windows the held handle keeps each folder
  // of it from being renamed). Before Vista, the path as it was built.
  if (calls.GetFinalPathNameByHandleA != nullptr) {
    char final_path[MAX_PATH];
    error = CheckFinalPathIn(calls, verified->Get(), folder, FileNameOf(path), final_path);
    if (error != 0) {
      verified->Close();
      *fatal = Failure(kCreateLabel, error);
      return 0;
    }
    TextCopy(path, MAX_PATH, final_path);
  }
  return 1;
}

}  // namespace kova
