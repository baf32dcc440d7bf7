#include "text/bounded_text.h"

#include <cstdarg>
#include <cstdint>

namespace kova {

size_t TextLength(const char* s) {
  size_t n = 0;
  while (s[n] != '\0') ++n;
  return n;
}

size_t TextLengthN(const char* s, size_t n) {
  size_t i = 0;
  while (i < n && s[i] != '\0') ++i;
  return i;
}

namespace {

// What every function that does not cut leaves: the whole text, or nothing.
bool EmptyUnlessFit(char* dst, size_t cap, bool fit) {
  if (!fit && cap != 0) dst[0] = '\0';
  return fit;
}

}  // namespace

bool TextCopyN(char* dst, size_t cap, const char* src, size_t n) {
  if (cap == 0) return false;
  dst[0] = '\0';
  return TextAppendN(dst, cap, src, n);
}

bool TextCopy(char* dst, size_t cap, const char* src) {
  return TextCopyN(dst, cap, src, static_cast<size_t>(-1));
}

bool TextCopyCut(char* dst, size_t cap, const char* src) {
  if (cap == 0) return false;
  dst[0] = '\0';
  return TextAppendCut(dst, cap, src);
}

bool TextAppendN(char* dst, size_t cap, const char* src, size_t n) {
  return EmptyUnlessFit(dst, cap, TextAppendNCut(dst, cap, src, n));
}

bool TextAppendNCut(char* dst, size_t cap, const char* src, size_t n) {
  if (cap == 0) return false;
  size_t w = TextLengthN(dst, cap);
  if (w == cap) {  // not terminated on entry: terminate, nothing more fits
    dst[cap - 1] = '\0';
    return false;
  }
  size_t i = 0;
  // Byte-by-byte forward copy, so a source that is the tail of dst itself is safe.
  while (i < n && src[i] != '\0') {
    if (w + 1 >= cap) {
      dst[w] = '\0';
      return false;
    }
    dst[w++] = src[i++];
  }
  dst[w] = '\0';
  return true;
}

bool TextAppend(char* dst, size_t cap, const char* src) {
  return TextAppendN(dst, cap, src, static_cast<size_t>(-1));
}

bool TextAppendCut(char* dst, size_t cap, const char* src) {
  return TextAppendNCut(dst, cap, src, static_cast<size_t>(-1));
}

namespace {

// Writes the digits of v in the given base (10 or 16, lower case), terminated,
// so that they end just before end; returns where they begin.
char* FormatUnsigned(uint32_t v, unsigned base, char* end) {
  char* p = end;
  *--p = '\0';
  do {
    unsigned d = v % base;
    *--p = static_cast<char>(d < 10 ? '0' + d : 'a' + (d - 10));
    v /= base;
  } while (v != 0);
  return p;
}

struct Writer {
  char* dst;
  size_t cap;
  size_t w;
  bool fit;

  void Put(char c) {
    if (w + 1 < cap) {
      dst[w++] = c;
    } else {
      fit = false;
    }
  }
  void PutText(const char* s) {
    for (; *s != '\0'; ++s) Put(*s);
  }
};

// Formats into dst, keeping the longest prefix that fits; true when all fit.
bool FormatCut(char* dst, size_t cap, const char* fmt, va_list args) {
  if (cap == 0) return false;
  Writer out{dst, cap, 0, true};
  for (const char* p = fmt; *p != '\0'; ++p) {
    // A lone '%' at the end stands for itself.
    if (*p != '%' || p[1] == '\0') {
      out.Put(*p);
      continue;
    }
    const char conv = *++p;
    char digits[16];
    const char* text;
    switch (conv) {
      case 's':
        text = va_arg(args, const char*);
        if (text == nullptr) text = "";
        break;
      case 'd':
      case 'u':
      case 'x': {
        // %d takes a signed 32-bit value, %u and %x an unsigned one.
        uint32_t v = conv == 'd' ? static_cast<uint32_t>(va_arg(args, int32_t))
                                 : va_arg(args, uint32_t);
        if (conv == 'd' && static_cast<int32_t>(v) < 0) {
          out.Put('-');
          v = 0u - v;
        }
        text = FormatUnsigned(v, conv == 'x' ? 16 : 10, digits + sizeof digits);
        break;
      }
      case 'c':
        out.Put(static_cast<char>(va_arg(args, int)));
        continue;
      default:  // no conversion: the '%' and the character after it stand as they are
        out.Put('%');
        [[fallthrough]];
      case '%':  // "%%" is one '%'
        out.Put(conv);
        continue;
    }
    // When a %s text is dst itself at the write position (the "%s..." from
    // itself case), the forward copy writes each byte onto itself.
    out.PutText(text);
  }
  dst[out.w] = '\0';
  return out.fit;
}

}  // namespace

bool TextFormat(char* dst, size_t cap, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  bool fit = EmptyUnlessFit(dst, cap, FormatCut(dst, cap, fmt, args));
  va_end(args);
  return fit;
}

bool TextFormatCut(char* dst, size_t cap, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  bool fit = FormatCut(dst, cap, fmt, args);
  va_end(args);
  return fit;
}

int TextCompareFoldingAscii(const char* a, const char* b) {
  unsigned x;
  unsigned y;
  do {
    x = static_cast<unsigned char>(*a++);
    y = static_cast<unsigned char>(*b++);
    if (x - 'A' < 26u) x += 'a' - 'A';
    if (y - 'A' < 26u) y += 'a' - 'A';
  } while (x == y && x != '\0');
  return static_cast<int>(x) - static_cast<int>(y);
}

bool TextEquals(const char* a, const char* b) {
  for (; *a == *b; ++a, ++b) {
    if (*a == '\0') return true;
  }
  return false;
}

bool TextStartsWith(const char* s, const char* prefix) {
  while (*prefix != '\0') {
    if (*s++ != *prefix++) return false;
  }
  return true;
}

bool TextContains(const char* haystack, const char* needle) {
  // Tried at the terminator too, where only an empty needle matches.
  for (const char* h = haystack;; ++h) {
    if (TextStartsWith(h, needle)) return true;
    if (*h == '\0') return false;
  }
}

bool IsSpaceChar(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace kova
