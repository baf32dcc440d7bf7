#include "settings/registry_text.h"

#include "text/bounded_text.h"

namespace kova {

uint32_t QueryStringResult(uint32_t query_status, uint32_t type, const char* data,
                           uint32_t reported_size, size_t buffer_size) {
  if (type == kRegNone) return kErrorInvalidData;
  if (query_status != 0) return query_status;
  // The registry never reports more than it wrote; refuse it all the same
  // rather than read past the buffer.
  if (data == nullptr || reported_size > buffer_size) return kErrorInvalidData;
  switch (type) {
    case kRegSz:
    case kRegExpandSz:  // returned unexpanded
      return reported_size >= 1 && data[reported_size - 1] == '\0' ? 0 : kErrorInvalidData;
    case kRegMultiSz:  // the caller sees the first string of the list
      return reported_size >= 2 && data[reported_size - 1] == '\0' &&
                     data[reported_size - 2] == '\0'
                 ? 0
                 : kErrorInvalidData;
    default:
      return kErrorInvalidData;
  }
}

bool AcceptVendorText(uint32_t query_string_result, uint32_t reported_size, char* buffer,
                      size_t buffer_size) {
  if (buffer == nullptr || buffer_size == 0) return false;
  // The buffer is read only after a query that wrote it: callers need not
  // clear it first.
  bool usable = query_string_result == 0 && reported_size != 0;
  if (usable) {
    size_t length = TextLengthN(buffer, buffer_size);
    usable = length > 0 && length < buffer_size;
  }
  if (!usable) buffer[0] = '\0';
  return usable;
}

namespace {

// A bounded reader of the service-pack text.
struct Cursor {
  const char* text;
  size_t cap;
  size_t at;

  char Peek() const { return at < cap ? text[at] : '\0'; }
  void SkipBlanks() {
    while (IsSpaceChar(Peek())) ++at;
  }
};

}  // namespace

int32_t ServicePackFromText(const char* text, size_t cap) {
  if (text == nullptr) return 0;
  // sscanf semantics: letters match exactly, a blank in the format matches
  // any run of white space (also none), %d skips white space first: the
  // format's text before %d, read here, ends in that skip as a blank.
  Cursor c{text, cap, 0};
  for (const char* f = "Service Pack "; *f != '\0'; ++f) {
    if (*f == ' ') {
      c.SkipBlanks();
    } else if (c.Peek() != *f) {
      return 0;
    } else {
      ++c.at;
    }
  }
  bool negative = false;
  if (c.Peek() == '+' || c.Peek() == '-') negative = text[c.at++] == '-';
  if (c.Peek() < '0' || c.Peek() > '9') return 0;
  uint32_t value = 0;
  while (c.Peek() >= '0' && c.Peek() <= '9') {
    // Saturate at INT32_MAX instead of overflowing: only "2 or more" matters.
    // Up to INT32_MAX / 10 the next value fits in 32 bits and is clamped;
    // above it, it would exceed INT32_MAX whatever the digit.
    const uint32_t digit = static_cast<uint32_t>(text[c.at] - '0');
    value = value > INT32_MAX / 10 ? INT32_MAX : value * 10 + digit;
    if (value > INT32_MAX) value = INT32_MAX;
    ++c.at;
  }
  return negative ? -static_cast<int32_t>(value) : static_cast<int32_t>(value);
}

bool IsNt5Sp2ThroughNt6Version(uint32_t platform_id, uint32_t major, uint32_t minor,
                               int32_t service_pack) {
  if (platform_id != kPlatformWin32Nt) return false;  // Windows 95, 98, Me
  if (major == 6) return true;
  if (major != 5) return false;  // NT 4 and earlier, 7 and later
  if (minor >= 1) return true;   // NT 5.1, 5.2
  return service_pack >= 2;      // NT 5.0
}

bool AcceptLocationText(char* buffer, uint32_t reported_size, size_t buffer_size) {
  const size_t length = TextLengthN(buffer, reported_size);
  if (length >= buffer_size) {
    buffer[0] = '\0';
    return false;
  }
  if (length == reported_size) buffer[length] = '\0';
  return true;
}

}  // namespace kova
