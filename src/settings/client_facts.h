// The facts about the machine that the install-status report carries: the
// operating-system description, the native processor architecture, the
// greatest other runtime version installed, and the visitor id. The decisions
// are pure functions over what the system reported; the Win32 side
// (client_facts_win32.cpp) gathers those inputs and applies the effects.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/registry_text.h"

namespace kova {

constexpr size_t kOsFactTextSize = 20;         // OS description, architecture, their caches
constexpr size_t kRuntimeVersionNameSize = 128;  // one runtime subkey name
constexpr size_t kVisitorIdSize = 32;
constexpr uint32_t kMinStoredVisitorIdBytes = 16;

// GetVersionExA's platform id of Windows 95, 98 and Me (NT's is
// kPlatformWin32Nt), and the workstation product type.
constexpr uint32_t kPlatformWin32Windows = 1;
constexpr uint32_t kProductTypeWorkstation = 1;

// ---- Operating system and architecture ----

// The OS family name for what GetVersionExA reported: "winnt", "win2000",
// "winxp", "win2003", "winvista"/"winlong" (NT 6.0 workstation/other),
// "win98", "winme", "win95"; for any other combination "<major>.<minor>" when
// both are non-zero, else "win32". Written into name[cap], cut to fit.
void OsNameForVersion(uint32_t platform_id, uint32_t major, uint32_t minor,
                      uint32_t product_type, char* name, size_t cap);

// "<name>-sp<n>" when service_pack is not 0, else the name alone.
void FormatOsDescription(const char* os_name, int32_t service_pack, char* out, size_t cap);

// "i586" (0), "ia64" (6), "amd64" (9), else the value in decimal.
void ArchitectureName(uint32_t architecture, char* name, size_t cap);

// ---- Previous runtime version ----

// The runtime this bootstrapper installs never counts as a previous one.
// Offers one runtime subkey name to the running choice in best[cap] (empty at
// the start). The name replaces best when it sorts strictly after it
// (bytes compared after mapping A-Z to a-z, as unsigned values; a prefix
// sorts first), differs from the own runtime version (case-sensitive) and
// is longer than 3 characters. Returns true when it replaced best.
bool OfferRuntimeVersion(const char* name, char* best, size_t cap);

// The order OfferRuntimeVersion uses: <0, 0 or >0.
int CompareVersionNamesIgnoringCase(const char* a, const char* b);

// ---- Visitor id ----

// Makes a visitor id from the tick count, the time in seconds since 1970 and
// the process id: their lower-case hex digits without leading zeros, joined;
// filled up with at most 8 "f" towards 16 characters; then split in two
// halves (the longer second when the length is odd) joined by "-". Written
// into id[cap], cut to fit; false when it was cut.
bool MakeVisitorId(uint32_t tick_count, uint32_t unix_seconds, uint32_t process_id, char* id,
                   size_t cap);

// Whether a stored id whose query reported `stored_size` bytes can be reused
// in a buffer of buffer_size bytes: at least 16 bytes, and room to spare for
// the terminator the registry does not store.
bool IsUsableStoredVisitorId(uint32_t stored_size, uint32_t buffer_size);

// Seconds since 1 January 1970 UTC, cut to 32 bits, from a FILETIME count of
// 100-ns intervals since 1601; 0 for a time before 1970.
uint32_t UnixSecondsFromFileTime(uint64_t file_time);

}  // namespace kova
