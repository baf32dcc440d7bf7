// Libraries loaded at run time are always loaded by their full path in the
// system directory, with the altered search path for their dependencies. The
// bootstrapper runs elevated from download folders, where a bare name would
// let a DLL planted beside the exe load first.
#pragma once

#include <windows.h>

namespace kova {

// Owns one module loaded from the system directory; frees it on every way out.
class SystemLibrary {
 public:
  // name is a bare file name such as "shfolder.dll". Loading fails (no module)
  // when the system directory plus the name does not fit in MAX_PATH.
  explicit SystemLibrary(const char* name);
  ~SystemLibrary();
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  // The named export, or null when the library or the export is missing.
  FARPROC Find(const char* export_name) const;

  // The export cast to the caller's function-pointer type.
  template <typename Fn>
  Fn FindAs(const char* export_name) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(Find(export_name)));
  }

 private:
  HMODULE module_;
};

// Fills path[MAX_PATH] with "<system directory>\<name>"; false when it does not fit.
bool SystemLibraryPath(const char* name, char* path);

// Called first at process start: every library loaded later, also those that
// system libraries load by bare name (for the message box, the credentials
// dialog), is then searched for in the system directory only:
// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) where kernel32 has
// it (Windows 8 and later; 7 and Vista with KB2533623). Without it,
// SetDllDirectoryA("") where that exists (XP SP1 and later), which takes at
// least the current folder out of the search. Both are looked up at run time.
void RestrictDllSearchToSystem();

}  // namespace kova
