#include "platform/wininet_library.h"

#include "platform/os_seam.h"
#include "platform/system_library.h"

namespace kova {

namespace {

// In the order of WinInetFunctions' members.
const char* const kWinInetNames[] = {
    "InternetOpenA",    "InternetCrackUrlA", "InternetConnectA", "InternetSetOptionA",
    "HttpOpenRequestA", "HttpSendRequestA",  "HttpQueryInfoA",   "InternetReadFile",
    "InternetCloseHandle", "InternetErrorDlg",
};

// The table is filled as an array of entry points: every member is one
// function pointer, in the order of the names above.
union WinInetTable {
  WinInetFunctions functions;
  FARPROC entries[sizeof kWinInetNames / sizeof kWinInetNames[0]];
};
static_assert(sizeof(WinInetFunctions) == sizeof(WinInetTable::entries),
              "one name for every WinINet function");

WinInetTable g_wininet;
bool g_loaded = false;

}  // namespace

const WinInetFunctions* LoadWinInet() {
  if (g_loaded) return &g_wininet.functions;
  char path[MAX_PATH];
  if (!SystemLibraryPath("wininet.dll", path)) return nullptr;
  // Never freed: see the header.
  HMODULE module = Os().LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) return nullptr;
  int found = 0;
  for (const char* name : kWinInetNames) {
    g_wininet.entries[found] = Os().GetProcAddress(module, name);
    if (g_wininet.entries[found] == nullptr) return nullptr;
    ++found;
  }
  g_loaded = true;
  return &g_wininet.functions;
}

const WinInetFunctions& WinInet() { return g_wininet.functions; }

}  // namespace kova
