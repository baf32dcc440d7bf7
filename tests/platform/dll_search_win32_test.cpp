// The DLL search is restricted first thing at start: through the newest call
// the system has, looked up at run time (the answers steered through the seam).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/os_seam.h"
#include "platform/scoped_os_override.h"
#include "platform/system_library.h"

namespace kova {
namespace {

std::vector<std::string> g_calls;
bool g_has_default_directories = true;
bool g_default_directories_fail = false;
bool g_has_dll_directory = true;

BOOL WINAPI FakeSetDefaultDllDirectories(DWORD flags) {
  g_calls.push_back("SetDefaultDllDirectories " + std::to_string(flags));
  return g_default_directories_fail ? FALSE : TRUE;
}

BOOL WINAPI FakeSetDllDirectoryA(LPCSTR path) {
  g_calls.push_back(std::string("SetDllDirectoryA \"") + (path ? path : "(null)") + "\"");
  return TRUE;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE, LPCSTR name) {
  if (std::strcmp(name, "SetDefaultDllDirectories") == 0 && g_has_default_directories) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeSetDefaultDllDirectories));
  }
  if (std::strcmp(name, "SetDllDirectoryA") == 0 && g_has_dll_directory) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeSetDllDirectoryA));
  }
  return nullptr;
}

TEST(DllSearch, TheNewestCallTheSystemHas) {
  const struct {
    const char* name;
    bool has_default, default_fails, has_directory;
    std::vector<std::string> calls;
  } cases[] = {
      {"Windows 8, or 7 with the update", true, false, true, {"SetDefaultDllDirectories 2048"}},
      {"the newer call refuses", true, true, true,
       {"SetDefaultDllDirectories 2048", "SetDllDirectoryA \"\""}},
      {"XP SP1 to 7 without the update", false, false, true, {"SetDllDirectoryA \"\""}},
      {"older than XP SP1", false, false, false, {}},
  };
  ScopedOsOverride<decltype(OsSeam::GetProcAddress)> lookup(&OsSeam::GetProcAddress,
                                                            FakeGetProcAddress);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_calls.clear();
    g_has_default_directories = c.has_default;
    g_default_directories_fail = c.default_fails;
    g_has_dll_directory = c.has_directory;
    RestrictDllSearchToSystem();
    EXPECT_EQ(g_calls, c.calls);
  }
}

}  // namespace
}  // namespace kova
