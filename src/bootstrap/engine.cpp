#include "bootstrap/engine.h"

#include "bootstrap/command_line.h"
#include "bootstrap/engine_version.h"
#include "platform/os_seam.h"
#include "platform/path_text.h"
#include "platform/system_library.h"
#include "product/process_state.h"
#include "settings/policy_key.h"
#include "settings/registry_key.h"
#include "settings/registry_text.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

using GetFileVersionInfoAFn = BOOL(WINAPI*)(LPCSTR path, DWORD handle, DWORD size, LPVOID data);
using VerQueryValueAFn = BOOL(WINAPI*)(LPCVOID block, LPCSTR sub_block, LPVOID* value,
                                       PUINT length);

constexpr DWORD kVersionBlockSize = 1024;  // bytes of version information read from msi.dll

constexpr char kInstallerKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";
constexpr char kLocationValue[] = "InstallerLocation";

}  // namespace

bool IsInstallerEngineSufficient() {
  char msi_path[1024];
  UINT n = GetSystemDirectoryA(msi_path, sizeof msi_path);
  if (n == 0 || n >= sizeof msi_path) return false;
  if (!TextAppend(msi_path, sizeof msi_path, "\\msi.dll")) return false;

  // version.dll is loaded by full path like every other run-time library.
  SystemLibrary version("version.dll");
  auto get_info = version.FindAs<GetFileVersionInfoAFn>("GetFileVersionInfoA");
  auto query = version.FindAs<VerQueryValueAFn>("VerQueryValueA");
  // DWORD-aligned, as the version resource walkers expect.
  DWORD block[kVersionBlockSize / sizeof(DWORD)];
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  // One way out, so that the library is freed in one place.
  return get_info != nullptr && query != nullptr &&
         get_info(msi_path, 0, kVersionBlockSize, block) &&
         query(block, "\\", reinterpret_cast<LPVOID*>(&fixed), &length) && fixed != nullptr &&
         length >= sizeof(VS_FIXEDFILEINFO) &&
         IsEngineVersionSufficient(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
}

bool GetMsiexecPath(char* buffer, DWORD size) {
  const bool wide = UsesWidePaths();
  // On the wide route the location is read as the system holds it, UTF-16,
  // and becomes a path text here; on 9x the ANSI text goes into buffer.
  WCHAR wide_location[MAX_PATH];
  WCHAR wide_name[sizeof kLocationValue];
  DWORD bytes = wide ? static_cast<DWORD>(sizeof wide_location) : size;
  LONG status;
  {
    // The key is closed when this block ends, before the text is examined.
    RegistryKey key;
    status = key.Open(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_READ);
    if (status == ERROR_SUCCESS) {
      status = !wide ? QueryRegistryValue(key.Get(), kLocationValue, nullptr, buffer, &bytes)
               : ToWide(kLocationValue, wide_name, sizeof kLocationValue)
                   ? RegQueryValueExW(key.Get(), wide_name, nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(wide_location), &bytes)
                   : ERROR_INVALID_NAME;
    }
  }
  if (status != ERROR_SUCCESS) return false;
  // Registry data need not end in a NUL: only a text that ends within the
  // buffer is a location.
  if (wide) {
    const DWORD units = bytes / sizeof(WCHAR);
    DWORD length = 0;
    while (length < units && wide_location[length] != L'\0') ++length;
    if (length >= MAX_PATH) {
      buffer[0] = '\0';
      return false;
    }
    wide_location[length] = L'\0';
    if (!FromWide(wide_location, buffer, size)) return false;  // buffer emptied
  } else if (!AcceptLocationText(buffer, bytes, size)) {
    return false;
  }
  if (TextAppend(buffer, size, "\\msiexec.exe") && FitsPath(buffer)) return true;
  buffer[0] = '\0';
  return false;
}

int32_t RunAndWait(char* command_line, const ProcessState& state) {
  DWORD exit_code = 1;
  // The package reads these from the Policy key while it runs. A post-status
  // URL that the trust check refused was dropped when the descriptor was
  // read: then none is stored, as with reporting off.
  if (state.reporting) SetPolicyString("Country", state.country);
  SetPolicyString("PostStatusUrl", state.reporting && state.post_status_url[0] != '\0'
                                       ? state.post_status_url
                                       : nullptr);
  // The command line goes to the system as UTF-16 on the wide route (at
  // most one unit a byte); CreateProcessW may write into it, as the ANSI
  // call may into command_line.
  WCHAR wide_line[kCommandLineSize];
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  BOOL started;
  if (UsesWidePaths()) {
    started = ToWide(command_line, wide_line, kCommandLineSize) &&
              Os().CreateProcessW(nullptr, wide_line, nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process);
  } else {
    // STARTUPINFOA and STARTUPINFOW have one layout: only their texts'
    // kinds differ, and none is set.
    started = Os().CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, reinterpret_cast<STARTUPINFOA*>(&startup), &process);
  }
  if (started) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return static_cast<int32_t>(exit_code);
}

}  // namespace kova
