// EnableAutoUpdateCheck in the user Policy key: written (protected where the
// system can) or cleared when the machine Policy key is first created.
#include "settings/user_auto_update.h"

#include <windows.h>
#include <wincrypt.h>

#include "platform/os_seam.h"
#include "platform/os_version.h"
#include "platform/system_library.h"
#include "settings/policy_key.h"
#include "settings/registry_key.h"
#include "settings/registry_text.h"

namespace kova {

namespace {

using CryptProtectDataFn = BOOL(WINAPI*)(DATA_BLOB* in, LPCWSTR description, DATA_BLOB* entropy,
                                         PVOID reserved, CRYPTPROTECT_PROMPTSTRUCT* prompt,
                                         DWORD flags, DATA_BLOB* out);

// The 32-bit value 100, little-endian.
const BYTE kAutoUpdateCheckData[4] = {0x64, 0x00, 0x00, 0x00};
constexpr const char* kAutoUpdateCheckValue = "EnableAutoUpdateCheck";

}  // namespace

bool IsNt5Sp2ThroughNt6() {
  OSVERSIONINFOEXA info;
  QueryOsVersion(&info);  // a failed query leaves zeros, which answer false
  // The text is read whatever the version (an empty one gives 0); only NT 5.0 looks at it.
  return IsNt5Sp2ThroughNt6Version(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                                   ServicePackFromText(info.szCSDVersion,
                                                       sizeof info.szCSDVersion));
}

void ClearUserAutoUpdateCheck() {
  RegistryKey user;
  if (user.Open(HKEY_CURRENT_USER, kPolicyKeyPath, KEY_SET_VALUE) != ERROR_SUCCESS) return;
  RegDeleteValueA(user.Get(), kAutoUpdateCheckValue);
}

bool IsDataProtectionAvailable() {
  OSVERSIONINFOEXA info;
  QueryOsVersion(&info);
  if (info.dwPlatformId != VER_PLATFORM_WIN32_NT || info.dwMajorVersion < 5) return false;
  SystemLibrary crypt32("Crypt32.dll");
  return crypt32.Find("CryptProtectData") != nullptr;
}

bool ProtectData(const BYTE* data, DWORD data_length, BYTE* out, DWORD out_size,
                 DWORD* out_length) {
  SystemLibrary crypt32("Crypt32.dll");
  auto protect = crypt32.FindAs<CryptProtectDataFn>("CryptProtectData");
  if (protect == nullptr) return false;
  DATA_BLOB in = {data_length, const_cast<BYTE*>(data)};
  DATA_BLOB protected_block = {0, nullptr};
  if (!protect(&in, L"Password Data", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
               &protected_block)) {
    return false;
  }
  // A block larger than the buffer is not stored at all rather than cut.
  bool fits = protected_block.cbData <= out_size;
  if (fits) {
    CopyMemory(out, protected_block.pbData, protected_block.cbData);
    *out_length = protected_block.cbData;
  }
  LocalFree(protected_block.pbData);
  return fits;
}

void WriteUserAutoUpdateCheck() {
  RegistryKey user;
  DWORD disposition;  // written by the call, not needed here
  if (CreatePolicyKey(HKEY_CURRENT_USER, user.Receive(), &disposition) != ERROR_SUCCESS) return;

  BYTE block[kProtectionBufferSize];
  DWORD length = 0;
  if (IsDataProtectionAvailable()) {
    // When protection fails nothing is stored: no unset bytes reach the registry.
    if (!ProtectData(kAutoUpdateCheckData, sizeof kAutoUpdateCheckData, block, sizeof block,
                     &length)) {
      return;
    }
  } else {
    CopyMemory(block, kAutoUpdateCheckData, sizeof kAutoUpdateCheckData);
    length = sizeof kAutoUpdateCheckData;
  }
  Os().RegSetValueExA(user.Get(), kAutoUpdateCheckValue, 0, REG_BINARY, block, length);
}

}  // namespace kova
