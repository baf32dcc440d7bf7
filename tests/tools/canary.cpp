// A DLL planted beside the bootstrapper under a system library's name. When
// anything loads it, it leaves "<its file name>.loaded" beside itself, so a
// test can prove the bootstrapper never loads a planted library.
#include <windows.h>

#include <cstdio>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(instance, path, MAX_PATH - 8);
    if (n > 0 && n < MAX_PATH - 8) {
      lstrcatA(path, ".loaded");
      HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
      if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    }
  }
  return TRUE;
}
