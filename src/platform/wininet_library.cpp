#include "platform/wininet_library.h"

#include "platform/os_seam.h"
#include "platform/system_library.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

constexpr int kWinInetCount = 10;

// The names, NUL after each, in the order of WinInetFunctions' members.
const char kWinInetNames[] =
    "InternetOpenA\0InternetCrackUrlA\0InternetConnectA\0InternetSetOptionA\0"
    "HttpOpenRequestA\0HttpSendRequestA\0HttpQueryInfoA\0InternetReadFile\0"
    "InternetCloseHandle\0InternetErrorDlg";

// The table is filled as an array of entry points: every member is one
// function pointer, in the order of the names above.
union WinInetTable {
  WinInetFunctions functions;
  FARPROC entries[kWinInetCount];
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
  const char* name = kWinInetNames;
  for (FARPROC& entry : g_wininet.entries) {
    entry = Os().GetProcAddress(module, name);
    if (entry == nullptr) return nullptr;
    name += TextLength(name) + 1;
  }
  g_loaded = true;
  return &g_wininet.functions;
}

const WinInetFunctions& WinInet() { return g_wininet.functions; }

}  // namespace kova
