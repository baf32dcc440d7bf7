// Inside the markup reader: its process-wide state, its allocation, the
// tokenizer and the tree builder's steps. Only the reader's own files and
// their tests include this.
#pragma once

#include <cstddef>
#include <cstdint>

#include "descriptor/markup_reader.h"

namespace kova {

enum MarkupToken : int32_t {
  TokenAttributeName = 0,   // only while a start tag's attributes are read
  TokenStartTag = 1,        // "<" and a name; text: the name
  TokenEndTag = 2,          // "</" and a name; text: the name
  TokenTagClose = 3,        // ">"
  TokenEmptyTagClose = 4,   // "/>"
  TokenText = 5,            // text up to the next "<"; text: decoded
  TokenAttributeValue = 6,  // only while a start tag's attributes are read
  TokenEnd = 7,             // end of input
};

// Where every record, copy and token buffer comes from. The standard pair is
// malloc/free; tests put in one that fails on demand.
struct MarkupAllocator {
  void* (*allocate)(size_t bytes);
  void (*release)(void* block);
};

// The one reader state of the process. ParseMarkup sets only the cursor; the
// token kind and token buffer carry over from one parse to the next.
struct MarkupReaderState {
  const char* cursor;      // next unread character of the input
  MarkupToken token;       // kind of the last token read
  char* tokenText;         // text of the last token that has one
  int32_t tokenCapacity;   // longest text tokenText holds; -1 before the first
  MarkupAllocator allocator;
};

MarkupReaderState& MarkupReader();

// Allocation through the reader's allocator. On failure these end the parse
// (see AbandonMarkupInput) and return none / false.
void* MarkupAllocate(size_t bytes);
void MarkupRelease(void* block);
char* CopyMarkupText(const char* text);  // exact length plus terminator
// Ends the current parse as if the input ended here: the cursor moves to the
// input's end and the token becomes TokenEnd, so every open level closes and
// the tree keeps what was built so far.
void AbandonMarkupInput();

// Tokenizer.
const char* ScanMarkupName(const char* position);
bool SetTokenText(const char* start, const char* end, MarkupToken kind);
const char* SkipInsignificant();
void NextMarkupToken();
void DecodeMarkupEntities(char* text);

// Tree building.
MarkupNode* NewMarkupNode(MarkupNodeKind kind, const char* text);
MarkupAttribute* ParseMarkupAttribute();
MarkupNode* BuildMarkupNodes();

}  // namespace kova
