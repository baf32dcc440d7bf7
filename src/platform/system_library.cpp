#include "platform/system_library.h"

#include "platform/os_seam.h"
#include "text/bounded_text.h"

namespace kova {

bool SystemLibraryPath(const char* name, char* path) {
  UINT n = GetSystemDirectoryA(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {  // >= MAX_PATH: the size it would need
    path[0] = '\0';
    return false;
  }
  return TextAppend(path, MAX_PATH, "\\") && TextAppend(path, MAX_PATH, name);
}

SystemLibrary::SystemLibrary(const char* name) : module_(nullptr) {
  char path[MAX_PATH];
  // The altered search path makes the library's own dependencies load from
  // its folder too, not from the exe's.
  if (SystemLibraryPath(name, path)) {
    module_ = Os().LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
}

SystemLibrary::~SystemLibrary() {
  if (module_ != nullptr) Os().FreeLibrary(module_);
}

void RestrictDllSearchToSystem() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD flags);
  using SetDllDirectoryAFn = BOOL(WINAPI*)(LPCSTR path);
  // Loaded with the process (a static import): no load by name happens here.
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  if (kernel32 == nullptr) return;
  auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(Os().GetProcAddress(kernel32, "SetDefaultDllDirectories")));
  if (set_default != nullptr && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  auto set_directory = reinterpret_cast<SetDllDirectoryAFn>(
      reinterpret_cast<void*>(Os().GetProcAddress(kernel32, "SetDllDirectoryA")));
  if (set_directory != nullptr) set_directory("");
}

FARPROC SystemLibrary::Find(const char* export_name) const {
  return module_ != nullptr ? Os().GetProcAddress(module_, export_name) : nullptr;
}

}  // namespace kova
