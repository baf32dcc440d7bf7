// The vendor key, HKLM Software\KovaSoft: read-only but for InstallStatus,
// which the package leaves behind and the bootstrapper deletes.
#pragma once

#include <windows.h>

#include "settings/registry_key.h"

namespace kova {

// Opens "Software" for reading into software, then the vendor key below it
// with access into vendor; true when both are open. The holders close the
// vendor key first, as they go in reverse order.
bool OpenVendorKey(RegistryKey* software, RegistryKey* vendor, REGSAM access);

// Reads a string value of the vendor key; true only for a non-empty text.
// On false the buffer is empty: whatever the query may have left there
// (another type's data, an unterminated or cut string) is never read as text.
bool ReadVendorValue(const char* value_name, char* buffer, DWORD buffer_size);
// Deletes InstallStatus from the vendor key; true when the key could be opened
// for writing, whether or not the value existed.
bool UpdateInstallStatus();

}  // namespace kova
