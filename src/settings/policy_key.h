// The Policy key, HKLM SOFTWARE\KovaSoft\Kova Update\Policy (the user Policy
// key is the same path under HKCU): the values the bootstrapper hands the
// package and keeps between runs.
#pragma once

#include <windows.h>

namespace kova {

extern const char kPolicyKeyPath[];

// RegCreateKeyExA of the Policy key path under root (HKLM or HKCU) with full
// access; *key and *disposition as that call leaves them.
LONG CreatePolicyKey(HKEY root, HKEY* key, DWORD* disposition);
// An open Policy key in *key (the caller closes it with RegCloseKey), or false
// with nothing to close. Creates the key when missing and then writes its
// first-creation defaults. Without want_write, falls back to a read-only open.
bool OpenPolicyKey(HKEY* key, bool want_write);
bool SetPolicyDword(HKEY key, const char* value_name, DWORD value);
// RegQueryValueExA into buffer, *size in/out; the type is not examined and no
// terminator is added.
bool GetPolicyValue(const char* value_name, void* buffer, DWORD* size);
// With a text: a REG_SZ of the text's characters without its terminator.
// With none (nullptr): deletes the value.
bool SetPolicyString(const char* value_name, const char* text);

}  // namespace kova
