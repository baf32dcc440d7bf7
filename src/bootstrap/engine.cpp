#include "bootstrap/engine.h"

#include "bootstrap/engine_version.h"
#include "platform/os_seam.h"
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
  DWORD bytes = size;
  LONG status;
  {
    // The key is closed when this block ends, before the text is examined.
    RegistryKey key;
    status = key.Open(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_READ);
    if (status == ERROR_SUCCESS) {
      status = QueryRegistryValue(key.Get(), "InstallerLocation", nullptr, buffer, &bytes);
    }
  }
  if (status != ERROR_SUCCESS) return false;
  // Registry data need not end in a NUL: only a text that ends within the
  // buffer is a location.
  return AcceptLocationText(buffer, bytes, size) && TextAppend(buffer, size, "\\msiexec.exe");
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
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (Os().CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return static_cast<int32_t>(exit_code);
}

}  // namespace kova
