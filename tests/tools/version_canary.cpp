// A version.dll planted beside the bootstrapper. Wine's own user32 imports
// version.dll by name, so with Windows-like search order this canary is loaded
// into every process; it therefore forwards every call to the system's
// version.dll (loaded by full path) and records, in "version.dll.calls" beside
// itself, each call whose caller is the program's own exe module.
#include <windows.h>

#include <cstdio>

namespace {

HMODULE g_self = nullptr;
HMODULE g_real = nullptr;

FARPROC Real(const char* name) {
  if (g_real == nullptr) {
    char path[MAX_PATH];
    UINT n = GetSystemDirectoryA(path, MAX_PATH - 16);
    if (n == 0 || n >= MAX_PATH - 16) return nullptr;
    lstrcatA(path, "\\version.dll");
    g_real = LoadLibraryA(path);
    if (g_real == g_self) g_real = nullptr;  // the system copy was not loaded apart from us
    if (g_real == nullptr) return nullptr;
  }
  return GetProcAddress(g_real, name);
}

void Record(const char* name, void* caller) {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCSTR>(caller), &module);
  if (module != GetModuleHandleA(nullptr)) return;
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(g_self, path, MAX_PATH - 8);
  if (n == 0 || n >= MAX_PATH - 8) return;
  lstrcatA(path, ".calls");
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", name);
    std::fclose(f);
  }
}

}  // namespace

#define KOVA_FORWARD(ret, name, params, args)                                  \
  extern "C" __declspec(dllexport) ret WINAPI name params {                   \
    Record(#name, __builtin_return_address(0));                               \
    auto real = reinterpret_cast<ret(WINAPI*) params>(Real(#name));            \
    if (real == nullptr) {                                                     \
      SetLastError(ERROR_PROC_NOT_FOUND);                                      \
      return 0;                                                                \
    }                                                                          \
    return real args;                                                          \
  }

KOVA_FORWARD(DWORD, GetFileVersionInfoSizeA, (LPCSTR f, LPDWORD h), (f, h))
KOVA_FORWARD(DWORD, GetFileVersionInfoSizeW, (LPCWSTR f, LPDWORD h), (f, h))
KOVA_FORWARD(BOOL, GetFileVersionInfoA, (LPCSTR f, DWORD h, DWORD n, LPVOID d), (f, h, n, d))
KOVA_FORWARD(BOOL, GetFileVersionInfoW, (LPCWSTR f, DWORD h, DWORD n, LPVOID d), (f, h, n, d))
KOVA_FORWARD(BOOL, VerQueryValueA, (LPCVOID b, LPCSTR s, LPVOID* v, PUINT n), (b, s, v, n))
KOVA_FORWARD(BOOL, VerQueryValueW, (LPCVOID b, LPCWSTR s, LPVOID* v, PUINT n), (b, s, v, n))
KOVA_FORWARD(DWORD, GetFileVersionInfoSizeExW, (DWORD fl, LPCWSTR f, LPDWORD h), (fl, f, h))
KOVA_FORWARD(BOOL, GetFileVersionInfoExW, (DWORD fl, LPCWSTR f, DWORD h, DWORD n, LPVOID d),
             (fl, f, h, n, d))

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_self = instance;
  return TRUE;
}
