// The decisions behind reading registry strings and the operating-system
// test of the per-user auto-update value, over plain inputs: the Win32 side
// passes what RegQueryValueExA and GetVersionExA reported.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova {

// Registry value types and the Windows error code used here.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kErrorInvalidData = 13;
constexpr uint32_t kPlatformWin32Nt = 2;
constexpr size_t kServicePackTextSize = 128;  // OSVERSIONINFOA's szCSDVersion

// The result of QueryString, from what the registry query reported: its
// status, the value type (0 when none was reported), the buffer it wrote
// into, the size it reported and the buffer's size. 0 only for a string value
// whose data ends in its terminator within the buffer (two NULs for a
// multi-string); 13 for no type, another type, a missing terminator or a
// reported size beyond the buffer; otherwise the failed query's own status.
uint32_t QueryStringResult(uint32_t query_status, uint32_t type, const char* data,
                           uint32_t reported_size, size_t buffer_size);

// The result of ReadVendorValue from QueryString's result: true only for a
// non-empty text terminated within the buffer. On false the buffer is made
// empty, since a failed query may have left anything in it (another type's
// data, an unterminated string, the undefined content after ERROR_MORE_DATA).
bool AcceptVendorText(uint32_t query_string_result, uint32_t reported_size, char* buffer,
                      size_t buffer_size);

// A location value (its type is not examined) as the registry query left it
// in buffer[buffer_size] with reported_size bytes: true when its text ends
// within the buffer, which it then always holds terminated (data without a
// NUL gets one after its last byte); false, with the buffer emptied, when the
// text runs to the buffer's end.
bool AcceptLocationText(char* buffer, uint32_t reported_size, size_t buffer_size);

// The number in a service-pack text, read as sscanf reads it with the format
// "Service Pack %d"; 0 when the text does not match. Reads at most cap bytes.
int32_t ServicePackFromText(const char* text, size_t cap);

// True for NT 5.0 with service pack 2 or later, NT 5.1 and 5.2, and any 6.x.
bool IsNt5Sp2ThroughNt6Version(uint32_t platform_id, uint32_t major, uint32_t minor,
                               int32_t service_pack);

}  // namespace kova
