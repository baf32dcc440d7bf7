// The per-user data folder, found by the best call each system family offers.
#include "bootstrap/user_data_folder.h"

#include <shlobj.h>

#include "platform/os_version.h"
#include "platform/path_text.h"
#include "platform/system_library.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

// FOLDERID_LocalAppDataLow, {A520A1A4-1780-4FF6-BD18-167343C5AF16}.
const GUID kFolderIdLocalAppDataLow = {
    0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16}};

using SHGetFolderPathExFn = HRESULT(WINAPI*)(const GUID* folder, DWORD flags, HANDLE token,
                                             LPWSTR path, UINT path_chars);
// The ANSI and wide forms of each roaming-folder call differ only in the
// kind of text they write into MAX_PATH units of path: one type serves both.
using SHGetFolderPathFn = HRESULT(WINAPI*)(HWND owner, int csidl, HANDLE token, DWORD flags,
                                           void* path);
using SHGetSpecialFolderPathFn = BOOL(WINAPI*)(HWND owner, void* path, int csidl, BOOL create);

constexpr int kCsidlAppData = 26;  // the roaming application data folder

// The export of the route's form: name is the ANSI one ("...A"), whose last
// letter becomes "W" on the wide route.
FARPROC FindForRoute(const SystemLibrary& library, const char* name) {
  char route_name[32];
  TextCopy(route_name, sizeof route_name, name);
  if (UsesWidePaths()) route_name[TextLength(route_name) - 1] = 'W';
  return library.Find(route_name);
}

// The roaming application data folder into path[kPathTextSize], through
// shfolder.dll, else shell32.dll; the wide calls on the wide route. Empty
// when no call was found or the one found failed.
void GetRoamingFolder(char* path) {
  const bool wide = UsesWidePaths();
  WCHAR wide_path[MAX_PATH];
  wide_path[0] = L'\0';
  void* out = wide ? static_cast<void*>(wide_path) : static_cast<void*>(path);
  bool found;
  SystemLibrary shfolder("shfolder.dll");
  if (shfolder.Loaded()) {
    auto get_folder = reinterpret_cast<SHGetFolderPathFn>(
        reinterpret_cast<void*>(FindForRoute(shfolder, "SHGetFolderPathA")));
    found = get_folder != nullptr && SUCCEEDED(get_folder(nullptr, kCsidlAppData, nullptr, 0, out));
  } else {
    SystemLibrary shell32("shell32.dll");
    auto get_folder = reinterpret_cast<SHGetSpecialFolderPathFn>(
        reinterpret_cast<void*>(FindForRoute(shell32, "SHGetSpecialFolderPathA")));
    found = get_folder != nullptr && get_folder(nullptr, out, kCsidlAppData, TRUE);
  }
  if (!found) {
    path[0] = '\0';
    return;
  }
  if (wide) {
    wide_path[MAX_PATH - 1] = L'\0';
    FromWide(wide_path, path, kPathTextSize);
  } else {
    path[MAX_PATH - 1] = '\0';
  }
}

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
    // The text as the system gave it; false leaves nothing behind.
    FromWide(wide, path, kPathTextSize);
  }
}

void GetProfileFolder(char* path) {
  if (ReadSystemPath("USERPROFILE", path) == 0) ReadSystemPath(nullptr, path);
}

void GetUserDataFolder(char* path, VersionCache* cache) {
  path[0] = '\0';
  if (IsVistaFamily(cache)) {
    GetLocalLowFolder(path);
  } else {
    GetRoamingFolder(path);
  }
  // A folder query that was missing, or found but failed, leaves nothing; the
  // profile folder is then a better home than a path relative to the current
  // drive.
  if (path[0] == '\0') GetProfileFolder(path);
}

}  // namespace kova
