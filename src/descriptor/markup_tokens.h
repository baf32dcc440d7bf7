// Inside the markup reader: the running parse's state, its allocation, the
// tokenizer and the tree builder's steps. Only the reader's own files and
// their tests include this.
#pragma once

#include <cstddef>
#include <cstdint>

#include "descriptor/markup_reader.h"

namespace kova {

// The state of the reader whose Parse is running.
MarkupReaderState& ActiveMarkupReader();

// Allocation through the running reader's allocator; each block is kept on
// the reader's list until released, and the reader releases what is left
// when it goes. On failure these end the parse (see AbandonMarkupInput) and
// return none / false.
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
