// The per-user data folder, found by the best call each system family offers.
#include "bootstrap/user_data_folder.h"

#include <shlobj.h>

#include "platform/os_version.h"
#include "platform/system_library.h"

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

}  // namespace kova
