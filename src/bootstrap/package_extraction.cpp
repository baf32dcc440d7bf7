#include "bootstrap/package_extraction.h"

#include <shlobj.h>

#include "bootstrap/fatal_message.h"
#include "bootstrap/package_path.h"
#include "platform/os_seam.h"
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

struct VistaFamilyCache {
  DWORD tested;
  DWORD result;
};
VistaFamilyCache g_vista_family = {0, 0};

}  // namespace

bool IsVistaFamily() {
  if (g_vista_family.tested == 0) {
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    Os().GetVersionExA(&info);
    g_vista_family.result = info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion == 6;
    g_vista_family.tested = 1;
  }
  return g_vista_family.result != 0;
}

void ResetVistaFamilyCache() { g_vista_family = {0, 0}; }

void GetLocalLowFolder(char* path) {
  SystemLibrary shell32("shell32.dll");
  if (!shell32.Loaded()) return;
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

void GetUserDataFolder(char* path) {
  path[0] = '\0';
  if (IsVistaFamily()) {
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

void GetPackagePath(char* path) {
  GetUserDataFolder(path);
  CreateDirectoryA(path, nullptr);
  for (int step = 0; step < kPackagePathSteps; ++step) {
    if (!ExtendPackagePath(path, MAX_PATH, step)) return;  // path is now empty
    if (step < kPackagePathFolderSteps) CreateDirectoryA(path, nullptr);
  }
}

void FailWithLastError(const char* label) {
  DWORD error = GetLastError();
  char* system_text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error,
                 LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&system_text), 0, nullptr);
  size_t size = FatalMessageSize(label, system_text);
  char* text = static_cast<char*>(LocalAlloc(LMEM_ZEROINIT, size));
  if (text != nullptr) {
    FormatFatalMessage(text, size, label, static_cast<int32_t>(error), system_text);
    Os().MessageBoxA(nullptr, text, "Error", MB_OK);
    LocalFree(text);
  }
  if (system_text != nullptr) LocalFree(system_text);
  Os().ExitProcess(error);
  ::ExitProcess(error);  // the seam's entry is only ever replaced by tests that do not return
}

int ExtractResourceToFile(HMODULE module, int resource_id, const char* resource_type,
                          const char* path) {
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(resource_id), resource_type);
  if (resource == nullptr) return 0;
  DWORD size = SizeofResource(module, resource);
  const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
  if (bytes == nullptr && size != 0) FailWithLastError("Installer : Wrapper.LoadResource ");

  if (path[0] == '\0') {  // GetPackagePath could not fit the chain into MAX_PATH
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    FailWithLastError("Installer : Wrapper.CreateFile ");
  }
  HANDLE file = Os().CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) FailWithLastError("Installer : Wrapper.CreateFile ");

  // The bytes go straight from the mapped resource to the file.
  DWORD total = 0;
  while (total < size) {
    DWORD chunk = size - total < kExtractChunkSize ? size - total : kExtractChunkSize;
    DWORD written = 0;
    if (!Os().WriteFile(file, bytes + total, chunk, &written, nullptr)) {
      FailWithLastError("Installer : Wrapper.WriteFile (In small chunks) ");
    }
    if (written == 0 || written > chunk) {
      // A write that reports success but makes no progress would loop forever.
      SetLastError(ERROR_WRITE_FAULT);
      FailWithLastError("Installer : Wrapper.WriteFile (In small chunks) ");
    }
    total += written;
  }
  if (!Os().CloseHandle(file)) FailWithLastError("Installer : Wrapper.CloseHandle ");
  return 1;
}

}  // namespace kova
