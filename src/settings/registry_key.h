// RegistryKey: holds one open registry key, or none, for the length of one
// operation. Users open a chain of keys, each relative to the previous
// holder's key, and every holder closes its key on every way out.
#pragma once

#include <windows.h>

namespace kova {

// RegQueryValueExA(key, value_name, nullptr, type, data, size): the one place
// the value queries' arguments are set up.
LONG QueryRegistryValue(HKEY key, const char* value_name, DWORD* type, void* data, DWORD* size);

class RegistryKey {
 public:
  RegistryKey() : key_(nullptr) {}
  ~RegistryKey() { Close(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  HKEY Get() const { return key_; }
  // For the out-parameter of RegCreateKeyExA; closes any key held first.
  HKEY* Receive() {
    Close();
    return &key_;
  }

  // Closes the key held, if any. Returns RegCloseKey's status, or 0 when none was held.
  LONG Close();
  // RegOpenKeyExA(parent, name, 0, access). On failure returns its status and
  // keeps the key held before; on success closes that key, holds the new one
  // and returns the close's status.
  LONG Open(HKEY parent, const char* name, REGSAM access);
  // Reads a string value into buffer. *size is the buffer's size in bytes on
  // entry and the size the registry reported on return. 0 only for a properly
  // terminated string (REG_SZ, REG_EXPAND_SZ unexpanded, or REG_MULTI_SZ,
  // whose first string the caller sees); 13 (ERROR_INVALID_DATA) for a missing
  // value, another type or a missing terminator; otherwise the query's status.
  LONG QueryString(char* buffer, const char* value_name, DWORD* size);

 private:
  HKEY key_;
};

}  // namespace kova
