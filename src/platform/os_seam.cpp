#include "platform/os_seam.h"

#include "platform/wininet_library.h"

namespace kova {

namespace {

// WinINet is loaded at run time (wininet_library.h): its two seam entries
// forward to the loaded functions. They are called only on handles that
// loaded functions opened, so the table is filled by then.
DWORD WINAPI ForwardInternetErrorDlg(HWND owner, HINTERNET request, DWORD error, DWORD flags,
                                     LPVOID* data) {
  return WinInet().InternetErrorDlg(owner, request, error, flags, data);
}
BOOL WINAPI ForwardInternetCloseHandle(HINTERNET handle) {
  return WinInet().InternetCloseHandle(handle);
}

const OsSeam kRealOs = {
    ::GetVersionExA,       ::GetUserDefaultLangID,  ::GetThreadLocale,  ::GetTickCount,
    ::GetLocalTime,        ::GetCurrentProcessId,   ::LoadLibraryExA,   ::GetProcAddress,
    ::FreeLibrary,         ::CreateFileA,           ::CreateFileW,      ::WriteFile,
    ::CloseHandle,         ::CreateProcessA,        ::CreateProcessW,   ::MessageBoxA,
    ::RegCreateKeyExA,     ::RegSetValueExA,        ForwardInternetErrorDlg,
    ForwardInternetCloseHandle, ::GetSystemTimeAsFileTime,
};

OsSeam g_os = kRealOs;

}  // namespace

OsSeam& Os() { return g_os; }
const OsSeam& RealOs() { return kRealOs; }

}  // namespace kova
