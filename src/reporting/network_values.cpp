#include "reporting/network_values.h"

namespace kova {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool IsCountryCode(const char* text) {
  return IsAsciiLetter(text[0]) && IsAsciiLetter(text[1]) && text[2] == '\0';
}

void MakePrintableLine(char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte > 0x7E) text[i] = ' ';
  }
}

}  // namespace kova
