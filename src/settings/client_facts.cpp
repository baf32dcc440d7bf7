#include "settings/client_facts.h"

#include "product/product.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

// A table value that matches every reported value.
constexpr uint8_t kAnyValue = 0xFF;

// The named versions, tried in order: platform id, major and minor version,
// product type, name.
struct OsNameRow {
  uint8_t platform_id;
  uint8_t major;
  uint8_t minor;
  uint8_t product_type;
  char name[9];
};
constexpr OsNameRow kOsNames[] = {
    {kPlatformWin32Nt, 4, kAnyValue, kAnyValue, "winnt"},
    {kPlatformWin32Nt, 5, 0, kAnyValue, "win2000"},
    {kPlatformWin32Nt, 5, 1, kAnyValue, "winxp"},
    {kPlatformWin32Nt, 5, 2, kAnyValue, "win2003"},
    {kPlatformWin32Nt, 6, 0, kProductTypeWorkstation, "winvista"},
    {kPlatformWin32Nt, 6, 0, kAnyValue, "winlong"},
    {kPlatformWin32Windows, 4, 10, kAnyValue, "win98"},
    {kPlatformWin32Windows, 4, 90, kAnyValue, "winme"},
    // Every other 4.x, and any other major version.
    {kPlatformWin32Windows, kAnyValue, kAnyValue, kAnyValue, "win95"},
};

bool Matches(uint8_t row_value, uint32_t value) {
  return row_value == kAnyValue || row_value == value;
}

}  // namespace

void OsNameForVersion(uint32_t platform_id, uint32_t major, uint32_t minor,
                      uint32_t product_type, char* name, size_t cap) {
  // Versions no row names, such as NT 6.1 ("6.1") or NT 3.51 ("3.51"), as
  // their numbers, else "win32". One format call writes the name: the named
  // versions and "win32" hold no "%", so as formats they are their own texts.
  const char* format = major != 0 && minor != 0 ? "%d.%d" : "win32";
  for (const OsNameRow& row : kOsNames) {
    if (row.platform_id == platform_id && Matches(row.major, major) &&
        Matches(row.minor, minor) && Matches(row.product_type, product_type)) {
      format = row.name;
      break;
    }
  }
  TextFormatCut(name, cap, format, static_cast<int32_t>(major), static_cast<int32_t>(minor));
}

void FormatOsDescription(const char* os_name, int32_t service_pack, char* out, size_t cap) {
  if (service_pack != 0) {
    TextFormatCut(out, cap, "%s-sp%d", os_name, service_pack);
  } else {
    TextCopyCut(out, cap, os_name);
  }
}

void ArchitectureName(uint32_t architecture, char* name, size_t cap) {
  // One format call: a known architecture's name holds no "%", so as a
  // format it is its own text; any other is its number.
  const char* format = "%d";
  if (architecture == 0) format = "i586";
  if (architecture == 6) format = "ia64";
  if (architecture == 9) format = "amd64";
  TextFormat(name, cap, format, static_cast<int32_t>(architecture));
}

int CompareVersionNamesIgnoringCase(const char* a, const char* b) {
  return TextCompareFoldingAscii(a, b);
}

bool OfferRuntimeVersion(const char* name, char* best, size_t cap) {
  if (CompareVersionNamesIgnoringCase(name, best) <= 0) return false;
  if (TextEquals(name, kRuntimeVersion)) return false;
  // Names of 3 characters or fewer ("1.6") are family keys, not versions.
  if (TextLength(name) <= 3) return false;
  // A name that does not fit would be a different version: leave best alone.
  if (TextLength(name) >= cap) return false;
  TextCopy(best, cap, name);
  return true;
}

bool MakeVisitorId(uint32_t tick_count, uint32_t unix_seconds, uint32_t process_id, char* id,
                   size_t cap) {
  // At most 3 x 8 digits and the filling: always fits.
  char digits[kVisitorIdSize];
  TextFormat(digits, sizeof digits, "%x%x%x", tick_count, unix_seconds, process_id);
  size_t length = TextLength(digits);
  if (length < 16) {
    // The filling always fits: the length grows by exactly its count.
    const size_t missing = 16 - length;
    const size_t filling = missing < 8 ? missing : 8;
    TextAppendN(digits, sizeof digits, "ffffffff", filling);
    length += filling;
  }
  // The second half moves up one place, terminator included, for the "-"
  // between the halves (at most 25 characters: still fits); one copy then
  // writes the id, cut as the three pieces written in turn would be.
  const size_t half = length / 2;
  for (size_t i = length + 1; i > half; --i) digits[i] = digits[i - 1];
  digits[half] = '-';
  return TextCopyCut(id, cap, digits);
}

bool IsUsableStoredVisitorId(uint32_t stored_size, uint32_t buffer_size) {
  // A value that fills the whole buffer leaves no terminator: not a text.
  return stored_size >= kMinStoredVisitorIdBytes && stored_size < buffer_size;
}

uint32_t UnixSecondsFromFileTime(uint64_t file_time) {
  constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
  constexpr uint32_t kIntervalsPerSecond = 10000000;
  if (file_time < kUnixEpochAsFileTime) return 0;
  // Long division a byte at a time: the remainder stays below 10^7 < 2^24, so
  // remainder * 256 + the next byte fits in 32 bits, and the 32-bit build
  // needs no 64-bit division routine. Only the quotient's low 32 bits are kept.
  // The bytes are taken from the top, the rest shifted up by a constant
  // after each: no shift by a variable count of a 64-bit value.
  uint64_t rest = file_time - kUnixEpochAsFileTime;
  uint32_t quotient = 0;
  uint32_t remainder = 0;
  for (int i = 0; i < 8; ++i, rest <<= 8) {
    const uint32_t part = (remainder << 8) | static_cast<uint32_t>(rest >> 56);
    quotient = (quotient << 8) | (part / kIntervalsPerSecond);
    remainder = part % kIntervalsPerSecond;
  }
  return quotient;
}

}  // namespace kova
