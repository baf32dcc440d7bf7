#include "platform/os_seam.h"

namespace kova {

namespace {

const OsSeam kRealOs = {
    ::GetVersionExA,   ::GetUserDefaultLangID, ::GetThreadLocale, ::GetTickCount,
    ::GetLocalTime,    ::GetCurrentProcessId,  ::LoadLibraryExA,  ::GetProcAddress,
    ::FreeLibrary,     ::CreateFileA,          ::WriteFile,       ::CloseHandle,
    ::CreateProcessA,  ::MessageBoxA,          ::RegCreateKeyExA,  ::RegSetValueExA,
    ::InternetErrorDlg, ::InternetCloseHandle, ::GetSystemTimeAsFileTime,
};

OsSeam g_os = kRealOs;

}  // namespace

OsSeam& Os() { return g_os; }
const OsSeam& RealOs() { return kRealOs; }

}  // namespace kova
