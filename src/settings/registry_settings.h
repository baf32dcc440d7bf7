// Every registry value the bootstrapper reads, writes or deletes lives in one
// of three keys: the vendor key (HKLM Software\KovaSoft), the Policy key
// (HKLM SOFTWARE\KovaSoft\Kova Update\Policy) and the user Policy key (the
// same path under HKCU). These are the only ways to reach them.
#pragma once

#include <windows.h>

#include <cstdint>

namespace kova {

extern const char* const kPolicyKeyPath;

// ---- Vendor key ----
// Reads a string value of the vendor key; true only for a non-empty text.
// On false the buffer is empty: whatever the query may have left there
// (another type's data, an unterminated or cut string) is never read as text.
bool ReadVendorValue(const char* value_name, char* buffer, DWORD buffer_size);
// Deletes InstallStatus from the vendor key; true when the key could be opened
// for writing, whether or not the value existed.
bool UpdateInstallStatus();

// ---- Policy key ----
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

// ---- The per-user auto-update value ----
bool IsNt5Sp2ThroughNt6();
void ClearUserAutoUpdateCheck();
void WriteUserAutoUpdateCheck();
bool IsDataProtectionAvailable();
// Protects data with CryptProtectData into out[out_size]; true with *out_length
// set when the protected block was made and fit. Writes nothing otherwise.
bool ProtectData(const BYTE* data, DWORD data_length, BYTE* out, DWORD out_size,
                 DWORD* out_length);

constexpr DWORD kProtectionBufferSize = 512;  // bytes

}  // namespace kova
