#include "settings/registry_key.h"

#include "settings/registry_text.h"

namespace kova {

LONG RegistryKey::Close() {
  if (key_ == nullptr) return ERROR_SUCCESS;
  LONG status = RegCloseKey(key_);
  key_ = nullptr;
  return status;
}

LONG RegistryKey::Open(HKEY parent, const char* name, REGSAM access) {
  HKEY opened = nullptr;
  LONG status = RegOpenKeyExA(parent, name, 0, access, &opened);
  if (status != ERROR_SUCCESS) return status;
  LONG closed = Close();
  key_ = opened;
  return closed;
}

LONG QueryRegistryValue(HKEY key, const char* value_name, DWORD* type, void* data,
                        DWORD* size) {
  return RegQueryValueExA(key, value_name, nullptr, type, static_cast<BYTE*>(data), size);
}

LONG RegistryKey::QueryString(char* buffer, const char* value_name, DWORD* size) {
  DWORD type = REG_NONE;
  DWORD buffer_size = *size;
  LONG status = QueryRegistryValue(key_, value_name, &type, buffer, size);
  // After ERROR_MORE_DATA *size is the size the value would need, not what
  // was written; the core rule never reads past buffer_size.
  return static_cast<LONG>(QueryStringResult(static_cast<uint32_t>(status), type, buffer,
                                             *size, buffer_size));
}

}  // namespace kova
