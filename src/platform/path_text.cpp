// The path calls of both routes, and the one conversion between path texts
// and the system's wide paths (see path_text.h).
#include "platform/path_text.h"

#include "platform/file_handle.h"
#include "platform/os_seam.h"
#include "platform/os_version.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

// Chosen once by ChoosePathRoute; the NT family's (wide) route until then.
bool g_ansi_paths = false;

// A path's wide form for one path call. When it has none that fits, the
// conversion's error stands (ERROR_INSUFFICIENT_BUFFER or
// ERROR_NO_UNICODE_TRANSLATION), and the call is not made.
bool WidePathOf(const char* path, WCHAR* wide) { return ToWide(path, wide, MAX_PATH); }

// Finishes a path the system gave: n is the length it reported, or the size
// it would need (MAX_PATH or more) when it did not fit; wide, when set,
// holds it and becomes text.
size_t TakeSystemPath(DWORD n, const WCHAR* wide, char* text) {
  if (n == 0 || n >= MAX_PATH || (wide != nullptr && !FromWide(wide, text, kPathTextSize))) {
    text[0] = '\0';
    return 0;
  }
  return TextLength(text);
}

}  // namespace

void ChoosePathRoute() {
  OSVERSIONINFOEXA version;
  QueryOsVersion(&version);
  g_ansi_paths = version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

bool UsesWidePaths() { return !g_ansi_paths; }

bool ToWide(const char* text, WCHAR* wide, size_t cap) {
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide,
                                    static_cast<int>(cap));
  if (n == 0 && cap != 0) wide[0] = L'\0';
  return n != 0;
}

bool FromWide(const WCHAR* wide, char* text, size_t cap) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, static_cast<int>(cap), nullptr,
                                    nullptr);
  if (n == 0 && cap != 0) text[0] = '\0';
  return n != 0;
}

bool FitsPath(const char* path) {
  if (g_ansi_paths) return TextLength(path) < MAX_PATH;
  const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  return units > 0 && units <= MAX_PATH;
}

HANDLE OpenPath(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  if (g_ansi_paths) {
    return Os().CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
  }
  WCHAR wide[MAX_PATH];
  if (!WidePathOf(path, wide)) return INVALID_HANDLE_VALUE;
  return Os().CreateFileW(wide, access, share, nullptr, disposition, flags, nullptr);
}

DWORD PathAttributes(const char* path) {
  if (g_ansi_paths) return GetFileAttributesA(path);
  WCHAR wide[MAX_PATH];
  return WidePathOf(path, wide) ? GetFileAttributesW(wide) : INVALID_FILE_ATTRIBUTES;
}

BOOL MakeFolder(const char* path) {
  if (g_ansi_paths) return CreateDirectoryA(path, nullptr);
  WCHAR wide[MAX_PATH];
  return WidePathOf(path, wide) && CreateDirectoryW(wide, nullptr);
}

BOOL DeletePath(const char* path) {
  if (g_ansi_paths) return DeleteFileA(path);
  // Through a handle opened for deletion on close, the name itself (never a
  // link's target), as DeleteFileW would.
  const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  FileHandle file(OpenPath(path, DELETE, kShareAll, OPEN_EXISTING,
                           FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT));
  return file.IsOpen();
}

size_t ReadSystemPath(const char* name, char* text) {
  if (g_ansi_paths) {
    return TakeSystemPath(name != nullptr ? GetEnvironmentVariableA(name, text, MAX_PATH)
                                          : GetWindowsDirectoryA(text, MAX_PATH),
                          nullptr, text);
  }
  WCHAR wide_name[16];
  WCHAR wide[MAX_PATH];
  DWORD n = 0;
  if (name == nullptr) {
    n = GetWindowsDirectoryW(wide, MAX_PATH);
  } else if (ToWide(name, wide_name, 16)) {
    n = GetEnvironmentVariableW(wide_name, wide, MAX_PATH);
  }
  return TakeSystemPath(n, wide, text);
}

size_t ReadTempFolder(char* text) {
  if (g_ansi_paths) return TakeSystemPath(GetTempPathA(MAX_PATH, text), nullptr, text);
  WCHAR wide[MAX_PATH];
  return TakeSystemPath(GetTempPathW(MAX_PATH, wide), wide, text);
}

}  // namespace kova
