// The OS seam: the system entry points that tests must steer are called
// through one table of function pointers. It starts out holding the real
// functions; the product never changes it. A test swaps one entry with
// ScopedOsOverride (tests/platform/scoped_os_override.h), which restores it.
#pragma once

#include <windows.h>
#include <wininet.h>

namespace kova {

struct OsSeam {
  // Version, locale, clock, identity.
  BOOL(WINAPI* GetVersionExA)(LPOSVERSIONINFOA info);
  LANGID(WINAPI* GetUserDefaultLangID)();
  LCID(WINAPI* GetThreadLocale)();
  DWORD(WINAPI* GetTickCount)();
  void(WINAPI* GetLocalTime)(LPSYSTEMTIME time);
  DWORD(WINAPI* GetCurrentProcessId)();
  // Run-time library loading (always by full path: see system_library.h).
  HMODULE(WINAPI* LoadLibraryExA)(LPCSTR path, HANDLE file, DWORD flags);
  FARPROC(WINAPI* GetProcAddress)(HMODULE module, LPCSTR name);
  BOOL(WINAPI* FreeLibrary)(HMODULE module);
  // Files: the wide call on the NT family, the ANSI one on 9x (path_text.h).
  HANDLE(WINAPI* CreateFileA)(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                              DWORD disposition, DWORD flags, HANDLE template_file);
  HANDLE(WINAPI* CreateFileW)(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                              DWORD disposition, DWORD flags, HANDLE template_file);
  BOOL(WINAPI* WriteFile)(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                          LPOVERLAPPED overlapped);
  BOOL(WINAPI* CloseHandle)(HANDLE handle);
  // Processes and the user.
  BOOL(WINAPI* CreateProcessA)(LPCSTR application, LPSTR command_line,
                               LPSECURITY_ATTRIBUTES process_sa, LPSECURITY_ATTRIBUTES thread_sa,
                               BOOL inherit, DWORD flags, LPVOID environment, LPCSTR directory,
                               LPSTARTUPINFOA startup, LPPROCESS_INFORMATION info);
  BOOL(WINAPI* CreateProcessW)(LPCWSTR application, LPWSTR command_line,
                               LPSECURITY_ATTRIBUTES process_sa, LPSECURITY_ATTRIBUTES thread_sa,
                               BOOL inherit, DWORD flags, LPVOID environment, LPCWSTR directory,
                               LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info);
  int(WINAPI* MessageBoxA)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
  // Registry: the create call, so a test can deny the right to create a key,
  // and the set call, so a test can see the exact length a value is given
  // (Wine stores one more byte than asked when a NUL follows the data).
  LONG(WINAPI* RegCreateKeyExA)(HKEY parent, LPCSTR sub_key, DWORD reserved, LPSTR class_name,
                                DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES sa,
                                PHKEY result, LPDWORD disposition);
  LONG(WINAPI* RegSetValueExA)(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                               const BYTE* data, DWORD length);
  // WinINet: the error and proxy-credentials dialog, so a test can give the
  // user's answer, and the handle release, so a test can see its order.
  DWORD(WINAPI* InternetErrorDlg)(HWND owner, HINTERNET request, DWORD error, DWORD flags,
                                  LPVOID* data);
  BOOL(WINAPI* InternetCloseHandle)(HINTERNET handle);
  // The wall clock (UTC), which goes into a new visitor id.
  void(WINAPI* GetSystemTimeAsFileTime)(LPFILETIME time);
};

// The process's seam table.
OsSeam& Os();
// The real functions, as the table holds them at start.
const OsSeam& RealOs();

}  // namespace kova
