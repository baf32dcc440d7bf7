// The markup reader's state, allocation and tokenizer.
#include "descriptor/markup_tokens.h"

#include <cstdlib>

#include "text/bounded_text.h"

namespace kova {

namespace {

MarkupReaderState g_reader = {nullptr, TokenEnd, nullptr, -1, {malloc, free}};

bool IsAsciiLetter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsNameStart(unsigned char c) {
  return IsAsciiLetter(c) || c == '_' || c == ':';
}

bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

// The white space passed over between tokens: only these four.
bool IsSkippedSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The first occurrence of marker at or after from, or the input's end.
const char* FindMarker(const char* from, const char* marker) {
  for (; *from != '\0'; ++from) {
    if (*from == marker[0] && TextStartsWith(from, marker)) return from;
  }
  return from;
}

// Behind the marker that starts at found, or the input's end when none did.
const char* PassMarker(const char* found, size_t markerLength) {
  return *found == '\0' ? found : found + markerLength;
}

}  // namespace

MarkupReaderState& MarkupReader() { return g_reader; }

void ResetMarkupReader() {
  MarkupReaderState& r = MarkupReader();
  MarkupRelease(r.tokenText);
  r.cursor = nullptr;
  r.token = TokenEnd;
  r.tokenText = nullptr;
  r.tokenCapacity = -1;
  r.allocator.allocate = malloc;
  r.allocator.release = free;
}

void* MarkupAllocate(size_t bytes) {
  void* block = g_reader.allocator.allocate(bytes);
  if (block == nullptr) AbandonMarkupInput();
  return block;
}

void MarkupRelease(void* block) {
  if (block != nullptr) g_reader.allocator.release(block);
}

char* CopyMarkupText(const char* text) {
  size_t length = TextLength(text);
  char* copy = static_cast<char*>(MarkupAllocate(length + 1));
  if (copy != nullptr) TextCopyN(copy, length + 1, text, length);
  return copy;
}

void AbandonMarkupInput() {
  if (g_reader.cursor != nullptr) {
    while (*g_reader.cursor != '\0') ++g_reader.cursor;
  }
  g_reader.token = TokenEnd;
}

const char* ScanMarkupName(const char* position) {
  if (!IsNameStart(static_cast<unsigned char>(*position))) return position;
  ++position;
  while (IsNameChar(static_cast<unsigned char>(*position))) ++position;
  return position;
}

bool SetTokenText(const char* start, const char* end, MarkupToken kind) {
  size_t n = static_cast<size_t>(end - start);
  if (g_reader.tokenCapacity < 0 ||
      n > static_cast<size_t>(g_reader.tokenCapacity)) {
    // The new buffer is taken before the old one goes, so a failed
    // allocation leaves the reader with a valid (if short) buffer.
    char* grown = n < INT32_MAX ? static_cast<char*>(MarkupAllocate(n + 1)) : nullptr;
    if (grown == nullptr) {
      AbandonMarkupInput();
      return false;
    }
    MarkupRelease(g_reader.tokenText);
    g_reader.tokenText = grown;
    g_reader.tokenCapacity = static_cast<int32_t>(n);
  }
  TextCopyN(g_reader.tokenText, static_cast<size_t>(g_reader.tokenCapacity) + 1,
            start, n);
  g_reader.token = kind;
  return true;
}

const char* SkipInsignificant() {
  const char* p = g_reader.cursor;
  for (;;) {
    const char* passStart = p;
    while (IsSkippedSpace(*p)) ++p;
    // A comment is taken first, so "<!--" never counts as a declaration.
    if (*p == '<' && TextStartsWith(p, "<!--")) {
      p = PassMarker(FindMarker(p + 4, "-->"), 3);
    }
    if (*p == '<' && p[1] == '!') {
      p = PassMarker(FindMarker(p + 2, ">"), 1);
    }
    if (*p == '<' && p[1] == '?') {
      p = PassMarker(FindMarker(p + 2, "?>"), 2);
    }
    g_reader.cursor = p;
    if (p == passStart) return p;
  }
}

void NextMarkupToken() {
  const char* p = SkipInsignificant();
  if (*p == '\0') {
    g_reader.token = TokenEnd;
    return;
  }
  if (*p == '<') {
    MarkupToken kind = TokenStartTag;
    const char* name = p + 1;
    if (*name == '/') {
      kind = TokenEndTag;
      ++name;
    }
    const char* nameEnd = ScanMarkupName(name);
    if (!SetTokenText(name, nameEnd, kind)) return;
    g_reader.cursor = nameEnd;
    return;
  }
  if (*p == '>') {
    g_reader.token = TokenTagClose;
    g_reader.cursor = p + 1;
    return;
  }
  if (p[0] == '/' && p[1] == '>') {
    g_reader.token = TokenEmptyTagClose;
    g_reader.cursor = p + 2;
    return;
  }
  const char* end = p;
  while (*end != '\0' && *end != '<') ++end;
  if (!SetTokenText(p, end, TokenText)) return;
  DecodeMarkupEntities(g_reader.tokenText);
  g_reader.cursor = end;
}

void DecodeMarkupEntities(char* text) {
  static const struct {
    const char* entity;
    size_t length;
    char replacement;
  } kEntities[] = {
      {"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'},
      {"&apos;", 6, '\''}, {"&quot;", 6, '"'},
  };
  // The output never outruns the input, and output is never read again, so
  // '&amp;lt;' becomes "&lt;" and stays so.
  const char* in = text;
  char* out = text;
  while (*in != '\0') {
    bool replaced = false;
    for (const auto& e : kEntities) {
      if (*in != '&') break;
      if (TextStartsWith(in, e.entity)) {
        *out++ = e.replacement;
        in += e.length;
        replaced = true;
        break;
      }
    }
    if (!replaced) *out++ = *in++;
  }
  *out = '\0';
}

}  // namespace kova
