// Bounded text: every write into a fixed char buffer goes through these.
// Each function takes the buffer's full size in bytes (terminator included),
// always leaves the buffer NUL-terminated when that size is non-zero, and
// returns true only when the whole result fit. On false the buffer is left
// empty: a cut file name, path or URL can name something else. The ...Cut
// functions keep the longest prefix that fits instead, for texts that are
// meant to be cut at their bound (log lines, report values).
#pragma once

#include <cstddef>

namespace kova {

bool TextCopy(char* dst, size_t cap, const char* src);
bool TextCopyN(char* dst, size_t cap, const char* src, size_t n);
bool TextAppend(char* dst, size_t cap, const char* src);
bool TextAppendN(char* dst, size_t cap, const char* src, size_t n);
bool TextCopyCut(char* dst, size_t cap, const char* src);
bool TextAppendCut(char* dst, size_t cap, const char* src);
bool TextAppendNCut(char* dst, size_t cap, const char* src, size_t n);

// A small printf subset, the same in both builds: %s, %d (signed 32-bit),
// %u and %x (unsigned 32-bit), %c and %%. Anything else is copied as it stands.
// The source of a %s may be the destination itself, as in "%s\\Orvo\\"
// formatted from the buffer it writes to.
bool TextFormat(char* dst, size_t cap, const char* fmt, ...);
bool TextFormatCut(char* dst, size_t cap, const char* fmt, ...);

size_t TextLength(const char* s);
// The bounded length: the index of the first NUL within n bytes, or n.
size_t TextLengthN(const char* s, size_t n);
bool TextEquals(const char* a, const char* b);           // case-sensitive
// Ordinal comparison with only A-Z folded to a-z, whatever the locale: the
// difference of the first bytes that differ (folded), or of the terminators.
int TextCompareFoldingAscii(const char* a, const char* b);
bool TextContains(const char* haystack, const char* needle);  // case-sensitive
bool TextStartsWith(const char* s, const char* prefix);
// White space as the C locale's isspace knows it: blank, \t, \n, \v, \f, \r.
bool IsSpaceChar(char c);

}  // namespace kova
