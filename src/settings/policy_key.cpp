// The Policy key, created on first use with its defaults, and its accessors.
#include "settings/policy_key.h"

#include "platform/os_seam.h"
#include "settings/registry_key.h"
#include "settings/user_auto_update.h"
#include "text/bounded_text.h"

namespace kova {

extern const char kPolicyKeyPath[] = "SOFTWARE\\KovaSoft\\Kova Update\\Policy";

bool SetPolicyDword(HKEY key, const char* value_name, DWORD value) {
  return Os().RegSetValueExA(key, value_name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value) == ERROR_SUCCESS;
}

LONG CreatePolicyKey(HKEY root, HKEY* key, DWORD* disposition) {
  return Os().RegCreateKeyExA(root, kPolicyKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, key, disposition);
}

bool OpenPolicyKey(HKEY* key, bool want_write) {
  DWORD disposition = 0;
  *key = nullptr;
  if (CreatePolicyKey(HKEY_LOCAL_MACHINE, key, &disposition) != ERROR_SUCCESS) {
    *key = nullptr;
    if (want_write) return false;
    // Without the right to create, an existing key can still be read.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPolicyKeyPath, 0, KEY_READ, key) != ERROR_SUCCESS) {
      *key = nullptr;
      return false;
    }
    return true;
  }
  // An existing key gets no defaults, even when some of them are missing.
  if (disposition != REG_CREATED_NEW_KEY) return true;

  bool enabled = SetPolicyDword(*key, "EnableKovaUpdate", 1);
  if (IsNt5Sp2ThroughNt6()) {
    ClearUserAutoUpdateCheck();
  } else {
    WriteUserAutoUpdateCheck();
  }
  bool notified = enabled && SetPolicyDword(*key, "NotifyDownload", 1) &&
                  SetPolicyDword(*key, "NotifyInstall", 0);
  if (notified) return true;
  RegCloseKey(*key);
  *key = nullptr;
  return false;
}

bool GetPolicyValue(const char* value_name, void* buffer, DWORD* size) {
  HKEY key;
  if (!OpenPolicyKey(&key, false)) return false;
  LONG status = QueryRegistryValue(key, value_name, nullptr, buffer, size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool SetPolicyString(const char* value_name, const char* text) {
  HKEY key;
  if (!OpenPolicyKey(&key, true)) return false;
  LONG status;
  if (text != nullptr) {
    // The characters only: the package reads the stored length, not a terminator.
    status = Os().RegSetValueExA(key, value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                            static_cast<DWORD>(TextLength(text)));
  } else {
    status = RegDeleteValueA(key, value_name);
  }
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

}  // namespace kova
