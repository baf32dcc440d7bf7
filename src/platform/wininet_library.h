// WinINet, loaded at run time from the system folder. Windows does not keep
// wininet.dll among its known DLLs, so a static import would be looked for in
// the exe's own folder (often the Downloads folder) before the first
// instruction runs; loaded here, after the DLL search is restricted and by
// its full system path, a planted copy is never touched.
#pragma once

#include <windows.h>
#include <wininet.h>

namespace kova {

// The ten WinINet functions the bootstrapper calls. The last two are reached
// through the OS seam (Os().InternetErrorDlg, Os().InternetCloseHandle), which
// forwards to these, so that tests can steer them.
struct WinInetFunctions {
  HINTERNET(WINAPI* InternetOpenA)(LPCSTR agent, DWORD access, LPCSTR proxy, LPCSTR bypass,
                                   DWORD flags);
  BOOL(WINAPI* InternetCrackUrlA)(LPCSTR url, DWORD length, DWORD flags, LPURL_COMPONENTSA parts);
  HINTERNET(WINAPI* InternetConnectA)(HINTERNET internet, LPCSTR host, INTERNET_PORT port,
                                      LPCSTR user, LPCSTR password, DWORD service, DWORD flags,
                                      DWORD_PTR context);
  BOOL(WINAPI* InternetSetOptionA)(HINTERNET handle, DWORD option, LPVOID value, DWORD length);
  HINTERNET(WINAPI* HttpOpenRequestA)(HINTERNET connection, LPCSTR verb, LPCSTR object,
                                      LPCSTR version, LPCSTR referrer, LPCSTR* accept,
                                      DWORD flags, DWORD_PTR context);
  BOOL(WINAPI* HttpSendRequestA)(HINTERNET request, LPCSTR headers, DWORD headers_length,
                                 LPVOID body, DWORD body_length);
  BOOL(WINAPI* HttpQueryInfoA)(HINTERNET request, DWORD level, LPVOID buffer, LPDWORD length,
                               LPDWORD index);
  BOOL(WINAPI* InternetReadFile)(HINTERNET file, LPVOID buffer, DWORD length, LPDWORD read);
  BOOL(WINAPI* InternetCloseHandle)(HINTERNET handle);
  DWORD(WINAPI* InternetErrorDlg)(HWND owner, HINTERNET request, DWORD error, DWORD flags,
                                  LPVOID* data);
};

// Loads wininet.dll from the system folder and looks up its functions, once:
// the library stays loaded for the life of the process (a worker thread that
// the main sequence stopped waiting for may still be inside it). Null when
// the library or one of its functions is missing; a later call tries again.
// Called on the main thread before any worker starts, so the table is never
// filled while another thread reads it.
const WinInetFunctions* LoadWinInet();

// The table once LoadWinInet has succeeded (for code that runs after it).
const WinInetFunctions& WinInet();

}  // namespace kova
