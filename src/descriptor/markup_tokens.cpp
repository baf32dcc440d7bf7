// The markup reader's state, allocation and tokenizer.
#include "descriptor/markup_tokens.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "text/bounded_text.h"
#include "text/xml_entities.h"

namespace kova {

namespace {

// The reader whose Parse is running; set for the length of each parse.
MarkupReaderState* g_active = nullptr;

// In front of every block handed out: the links of the reader's block list.
// Sized to the strictest alignment, so the block behind it stays aligned.
union BlockLinks {
  struct {
    BlockLinks* previous;
    BlockLinks* next;
  } links;
  std::max_align_t alignment;
};

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

// The markup passed over between tokens, by its opening and closing text,
// tried in this order at every stop: a comment is taken first, so "<!--"
// never counts as a declaration. Fixed rows: no pointers to relocate.
struct SkippedMarkup {
  char open[5];
  char close[4];
};
constexpr SkippedMarkup kSkippedMarkup[] = {{"<!--", "-->"}, {"<!", ">"}, {"<?", "?>"}};

}  // namespace

MarkupAllocator StandardMarkupAllocator() { return MarkupAllocator{malloc, free}; }

MarkupReaderState& ActiveMarkupReader() { return *g_active; }

MarkupReader::MarkupReader(MarkupAllocator allocator) { state_.allocator = allocator; }

MarkupReader::~MarkupReader() {
  auto* block = static_cast<BlockLinks*>(state_.blocks);
  while (block != nullptr) {
    BlockLinks* next = block->links.next;
    state_.allocator.release(block);
    block = next;
  }
}

MarkupNode* MarkupReader::Parse(const char* text) {
  if (text == nullptr) return nullptr;
  MarkupReaderState* outer = g_active;
  g_active = &state_;
  state_.cursor = text;
  NextMarkupToken();
  MarkupNode* tree = BuildMarkupNodes();
  g_active = outer;
  return tree;
}

void* MarkupAllocate(size_t bytes) {
  MarkupReaderState& r = *g_active;
  void* raw = bytes <= SIZE_MAX - sizeof(BlockLinks)
                  ? r.allocator.allocate(sizeof(BlockLinks) + bytes)
                  : nullptr;
  if (raw == nullptr) {
    AbandonMarkupInput();
    return nullptr;
  }
  auto* block = static_cast<BlockLinks*>(raw);
  block->links.previous = nullptr;
  block->links.next = static_cast<BlockLinks*>(r.blocks);
  if (block->links.next != nullptr) block->links.next->links.previous = block;
  r.blocks = block;
  return block + 1;
}

void MarkupRelease(void* memory) {
  if (memory == nullptr) return;
  MarkupReaderState& r = *g_active;
  BlockLinks* block = static_cast<BlockLinks*>(memory) - 1;
  if (block->links.previous != nullptr) {
    block->links.previous->links.next = block->links.next;
  } else {
    r.blocks = block->links.next;
  }
  if (block->links.next != nullptr) block->links.next->links.previous = block->links.previous;
  r.allocator.release(block);
}

char* CopyMarkupText(const char* text) {
  size_t length = TextLength(text);
  char* copy = static_cast<char*>(MarkupAllocate(length + 1));
  if (copy != nullptr) TextCopyN(copy, length + 1, text, length);
  return copy;
}

void AbandonMarkupInput() {
  if (g_active->cursor != nullptr) {
    while (*g_active->cursor != '\0') ++g_active->cursor;
  }
  g_active->token = TokenEnd;
}

const char* ScanMarkupName(const char* position) {
  if (!IsNameStart(static_cast<unsigned char>(*position))) return position;
  ++position;
  while (IsNameChar(static_cast<unsigned char>(*position))) ++position;
  return position;
}

bool SetTokenText(const char* start, const char* end, MarkupToken kind) {
  size_t n = static_cast<size_t>(end - start);
  if (g_active->tokenCapacity < 0 ||
      n > static_cast<size_t>(g_active->tokenCapacity)) {
    // The new buffer is taken before the old one goes, so a failed
    // allocation leaves the reader with a valid (if short) buffer.
    char* grown = n < INT32_MAX ? static_cast<char*>(MarkupAllocate(n + 1)) : nullptr;
    if (grown == nullptr) {
      AbandonMarkupInput();
      return false;
    }
    MarkupRelease(g_active->tokenText);
    g_active->tokenText = grown;
    g_active->tokenCapacity = static_cast<int32_t>(n);
  }
  TextCopyN(g_active->tokenText, static_cast<size_t>(g_active->tokenCapacity) + 1,
            start, n);
  g_active->token = kind;
  return true;
}

const char* SkipInsignificant() {
  const char* p = g_active->cursor;
  for (;;) {
    const char* passStart = p;
    while (IsSkippedSpace(*p)) ++p;
    for (const SkippedMarkup& skipped : kSkippedMarkup) {
      if (TextStartsWith(p, skipped.open)) {
        p = PassMarker(FindMarker(p + TextLength(skipped.open), skipped.close),
                       TextLength(skipped.close));
      }
    }
    g_active->cursor = p;
    if (p == passStart) return p;
  }
}

void NextMarkupToken() {
  const char* p = SkipInsignificant();
  if (*p == '\0') {
    g_active->token = TokenEnd;
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
    g_active->cursor = nameEnd;
    return;
  }
  if (*p == '>') {
    g_active->token = TokenTagClose;
    g_active->cursor = p + 1;
    return;
  }
  if (p[0] == '/' && p[1] == '>') {
    g_active->token = TokenEmptyTagClose;
    g_active->cursor = p + 2;
    return;
  }
  const char* end = p;
  while (*end != '\0' && *end != '<') ++end;
  if (!SetTokenText(p, end, TokenText)) return;
  DecodeMarkupEntities(g_active->tokenText);
  g_active->cursor = end;
}

void DecodeMarkupEntities(char* text) {
  // The output never outruns the input, and output is never read again, so
  // '&amp;lt;' becomes "&lt;" and stays so.
  const char* in = text;
  char* out = text;
  while (*in != '\0') {
    char c = *in;
    size_t length = 1;
    for (const char* row = kXmlEntities; *row != '\0'; row += TextLength(row) + 1) {
      if (TextStartsWith(in, row + 1)) {
        c = row[0];
        length = TextLength(row + 1);
        break;
      }
    }
    *out++ = c;
    in += length;
  }
  *out = '\0';
}

}  // namespace kova
