// The client facts, gathered from Windows: GetVersionExA and
// GetNativeSystemInfo for the OS facts, the runtime key's subkeys for the
// previous runtime version, the Policy key for the visitor id.
#include <windows.h>

#include "platform/os_seam.h"
#include "platform/os_version.h"
#include "platform/system_library.h"
#include "settings/client_facts_win32.h"
#include "settings/policy_key.h"
#include "settings/registry_key.h"
#include "settings/registry_text.h"
#include "settings/vendor_key.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);

// The machine's own processor architecture: under WOW64 GetSystemInfo would
// report the emulated one, so the native call is preferred where it exists.
uint32_t NativeArchitecture() {
  SYSTEM_INFO info;
  ZeroMemory(&info, sizeof info);
  info.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
  SystemLibrary kernel32("kernel32.dll");
  auto get_native = kernel32.FindAs<GetNativeSystemInfoFn>("GetNativeSystemInfo");
  if (get_native != nullptr) {
    get_native(&info);
  } else {
    GetSystemInfo(&info);
  }
  return info.wProcessorArchitecture;
}

}  // namespace

OsFacts& ProcessOsFacts() {
  static OsFacts facts{};
  return facts;
}

void GatherOsFacts(OsFacts* facts) {
  OSVERSIONINFOEXA version;
  QueryOsVersion(&version);
  OsNameForVersion(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion,
                   version.wProductType, facts->os_name, sizeof facts->os_name);
  // An empty text has no service pack: ServicePackFromText gives 0 for it.
  facts->service_pack = ServicePackFromText(version.szCSDVersion, sizeof version.szCSDVersion);
  ArchitectureName(NativeArchitecture(), facts->architecture, sizeof facts->architecture);
  facts->ready = true;
}

bool GetOsDescription(char* os_description, char* architecture) {
  OsFacts& facts = ProcessOsFacts();
  if (!facts.ready) GatherOsFacts(&facts);
  FormatOsDescription(facts.os_name, facts.service_pack, os_description, kOsFactTextSize);
  TextCopy(architecture, kOsFactTextSize, facts.architecture);
  return true;
}

bool FindPreviousRuntimeVersion(char* version) {
  // The vendor key, then Kova Runtime Environment below it; the holders
  // close them in the reverse order on the way out.
  RegistryKey software;
  RegistryKey vendor;
  RegistryKey runtime;
  if (!OpenVendorKey(&software, &vendor, KEY_READ) ||
      runtime.Open(vendor.Get(), "Kova Runtime Environment", KEY_READ) != ERROR_SUCCESS) {
    return false;
  }
  const HKEY parent = runtime.Get();
  // Only ever read as a text: the terminator alone starts it empty.
  char best[kRuntimeVersionNameSize];
  best[0] = '\0';
  bool found = false;
  char subkey[kRuntimeVersionNameSize];
  // Any status but 0 ends the walk: no more subkeys, or a name longer than
  // the buffer (234), after which no subkey is looked at.
  for (DWORD index = 0;
       RegEnumKeyA(parent, index, subkey, sizeof subkey) == ERROR_SUCCESS; ++index) {
    subkey[sizeof subkey - 1] = '\0';
    if (OfferRuntimeVersion(subkey, best, sizeof best)) found = true;
  }
  if (found) TextCopy(version, kRuntimeVersionNameSize, best);
  return found;
}

void GetVisitorId(char* id, uint32_t size) {
  if (size == 0) return;
  // A stored id carries no terminator: start from a zero-filled buffer.
  ZeroMemory(id, size);
  DWORD stored_size = size;
  if (GetPolicyValue("VisitorId", id, &stored_size) &&
      IsUsableStoredVisitorId(stored_size, size)) {
    return;
  }
  FILETIME now;
  Os().GetSystemTimeAsFileTime(&now);
  const uint64_t file_time =
      (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  MakeVisitorId(Os().GetTickCount(), UnixSecondsFromFileTime(file_time),
                Os().GetCurrentProcessId(), id, size);
  // Best effort: without the right to store it, the id still serves this run.
  SetPolicyString("VisitorId", id);
}

}  // namespace kova
