// Checks of form on values that come from the network, before they reach
// the registry or the log: a server may answer anything.
#pragma once

#include <cstddef>

namespace kova {

// True when text is exactly two ASCII letters (either case), as a country is.
bool IsCountryCode(const char* text);

// Turns text[0..length) into one line of printable ASCII: every byte outside
// 0x20..0x7E (line breaks, tabs, controls, bytes above 0x7E) becomes a blank,
// so that a server's answer cannot start lines of its own in the log.
void MakePrintableLine(char* text, size_t length);

}  // namespace kova
