// Loads a library by the name given, as a careless program would; exits 0
// when it loaded. With a second argument, also calls that export as a
// (LPCSTR path, LPDWORD) function on the program's own file, the shape of
// GetFileVersionInfoSizeA. The end-to-end tests use it to show that a planted
// canary is picked up by a bare-name load, so its silence elsewhere means something.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) return 2;
  HMODULE module = LoadLibraryA(argv[1]);
  if (module == nullptr) return 1;
  if (argc == 3) {
    auto fn = reinterpret_cast<DWORD(WINAPI*)(LPCSTR, LPDWORD)>(
        reinterpret_cast<void*>(GetProcAddress(module, argv[2])));
    if (fn == nullptr) return 3;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    DWORD handle = 0;
    fn(self, &handle);
  }
  return 0;
}
