// The vendor key, HKLM "Software" then "KovaSoft": read-only but for InstallStatus.
#include "settings/vendor_key.h"

#include "settings/registry_key.h"
#include "settings/registry_text.h"

namespace kova {

namespace {
constexpr char kSoftware[] = "Software";
constexpr char kVendor[] = "KovaSoft";

}  // namespace

bool OpenVendorKey(RegistryKey* software, RegistryKey* vendor, REGSAM access) {
  return software->Open(HKEY_LOCAL_MACHINE, kSoftware, KEY_READ) == ERROR_SUCCESS &&
         vendor->Open(software->Get(), kVendor, access) == ERROR_SUCCESS;
}

bool ReadVendorValue(const char* value_name, char* buffer, DWORD buffer_size) {
  if (buffer_size == 0) return false;
  DWORD size = buffer_size;
  uint32_t result = kErrorInvalidData;
  {
    // Both keys are closed, the vendor key first, when this block ends.
    RegistryKey software;
    RegistryKey vendor;
    if (OpenVendorKey(&software, &vendor, KEY_READ)) {
      result = static_cast<uint32_t>(vendor.QueryString(buffer, value_name, &size));
    } else {
      size = 0;
    }
  }
  return AcceptVendorText(result, size, buffer, buffer_size);
}

bool UpdateInstallStatus() {
  RegistryKey software;
  RegistryKey vendor;
  if (!OpenVendorKey(&software, &vendor, KEY_READ | KEY_WRITE)) return false;
  RegDeleteValueA(vendor.Get(), "InstallStatus");
  return true;  // the vendor key is closed first, then the software key
}

}  // namespace kova
