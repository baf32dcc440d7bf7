// EnableAutoUpdateCheck in the user Policy key, written (protected with
// CryptProtectData where the system can) or cleared when the machine Policy
// key is first created, and the system tests that choose how.
#pragma once

#include <windows.h>

namespace kova {

// NT 5.0 SP2 and later, up to the NT 6 family: the systems on which a new
// Policy key clears the value rather than writing it.
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
