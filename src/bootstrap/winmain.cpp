// The process entry: no window, the argument vector from the C runtime, and
// the one place where the process ends.
#include <windows.h>

#include "bootstrap/main_sequence.h"
#include "platform/system_library.h"

namespace {

// The argument vector that the start-up below has msvcrt split from the
// command line by the standard rules: count and strings. (Kept here rather
// than read from msvcrt's __argc and __argv, which are two more imports.)
int g_argc = 0;
char** g_argv = nullptr;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The arguments come from the split vector; the command-line text itself is
  // not consulted.
  return kova::RunMainSequence(instance, g_argc, g_argv);
}

namespace {

// msvcrt's own start-up helper: splits the command line by the standard rules.
struct StartupInfo {
  int new_mode;
};
extern "C" int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int expand_wildcards,
                                     StartupInfo* info);

}  // namespace

// The process start-up, in place of the mingw C runtime's, which would add
// about 8 KB of code the bootstrapper never uses (thread-local storage
// callbacks, pseudo-relocations, static constructors: it has none). It does
// what that start-up does for a WinMain program: split the arguments, call
// WinMain, end the process with its result. Before anything else it takes
// the exe's own folder (often the Downloads folder) out of the DLL search.
// externally_visible: the product is compiled as one whole program, and this
// is the one function called from outside it.
extern "C" __attribute__((externally_visible)) void WINAPI KovaStartup() {
  kova::RestrictDllSearchToSystem();
  char** env;  // the environment vector: written by the call, never read
  StartupInfo info = {0};
  __getmainargs(&g_argc, &g_argv, &env, 0, &info);
  ExitProcess(static_cast<UINT>(
      WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWDEFAULT)));
}
