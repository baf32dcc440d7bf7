// The process entry: no window, the argument vector from the C runtime, and
// the one place where the process ends.
#include <windows.h>

#include "bootstrap/main_sequence.h"
#include "platform/path_text.h"
#include "platform/system_library.h"

namespace {

// The argument vector that the start-up below has msvcrt split from the
// command line by the standard rules: count and strings (path texts). (Kept
// here rather than read from msvcrt's __argc and __argv, which are two more
// imports.)
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
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env,
                                      int expand_wildcards, StartupInfo* info);

// The wide argument vector as path texts (UTF-8), in blocks that live as
// long as the process. An argument that cannot be converted is null, which
// the translation skips.
char** ToPathTexts(int argc, wchar_t** wide) {
  auto** argv = static_cast<char**>(LocalAlloc(LMEM_ZEROINIT, (argc + 1) * sizeof(char*)));
  for (int i = 0; argv != nullptr && i < argc; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    char* text = size > 0 ? static_cast<char*>(LocalAlloc(LMEM_FIXED, size)) : nullptr;
    if (text != nullptr && kova::FromWide(wide[i], text, size)) argv[i] = text;
  }
  return argv;
}

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
  kova::ChoosePathRoute();
  StartupInfo info = {0};
  // The arguments as Windows holds them: on the NT family the wide command
  // line, so that a pass-through argument never goes through the ANSI code
  // page; on 9x the ANSI one. (The environment vectors are written by the
  // calls, never read.)
  if (kova::UsesWidePaths()) {
    wchar_t** wide_env;
    wchar_t** wide_argv = nullptr;
    __wgetmainargs(&g_argc, &wide_argv, &wide_env, 0, &info);
    g_argv = wide_argv != nullptr ? ToPathTexts(g_argc, wide_argv) : nullptr;
    if (g_argv == nullptr) g_argc = 0;
  } else {
    char** env;
    __getmainargs(&g_argc, &g_argv, &env, 0, &info);
  }
  ExitProcess(static_cast<UINT>(
      WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT)));
}
