// The markup reader: a small, forgiving reader for the update descriptor.
//
// It turns one NUL-terminated 8-bit text into a tree of element and text
// records and never reports an error: every input yields some tree, possibly
// none. It knows elements, attributes (values in double quotes or running to
// the next white space), text with the five predefined entities, and passes
// over white space, comments, declarations and processing instructions.
// There are no namespaces, CDATA sections, character references, DTDs or
// character sets, and an end tag closes whatever element is open.
//
// A MarkupReader object holds the reader's state and owns every record it
// builds: the trees live as long as the reader and go with it. One parse at a
// time per reader, on one thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova {

enum MarkupNodeKind : int32_t {
  NodeElement = 0,
  NodeText = 1,
};

struct MarkupAttribute {
  char* name;             // owned copy
  char* value;            // owned copy, taken literally (no entity decoding)
  MarkupAttribute* next;
};

struct MarkupNode {
  MarkupNodeKind kind;
  char* text;                   // element name, or the decoded text
  MarkupNode* nextSibling;
  MarkupNode* firstChild;       // always none for a text node
  MarkupAttribute* attributes;  // reverse document order; none for text
};

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

// Where every record, copy and token buffer comes from: malloc and free,
// unless a reader is made with another pair (the exe's LocalAlloc pair, or a
// test's that fails on demand).
struct MarkupAllocator {
  void* (*allocate)(size_t bytes);
  void (*release)(void* block);
};
MarkupAllocator StandardMarkupAllocator();

// The reader's state. Parse sets only the cursor; the token kind and token
// buffer carry over from one parse to the next.
struct MarkupReaderState {
  const char* cursor = nullptr;      // next unread character of the input
  MarkupToken token = TokenEnd;      // kind of the last token read
  char* tokenText = nullptr;         // text of the last token that has one
  int32_t tokenCapacity = -1;        // longest text tokenText holds; -1 before the first
  MarkupAllocator allocator{};
  void* blocks = nullptr;            // every block allocated and not yet released
};

class MarkupReader {
 public:
  explicit MarkupReader(MarkupAllocator allocator = StandardMarkupAllocator());
  // Releases every tree this reader built, and its token buffer.
  ~MarkupReader();
  MarkupReader(const MarkupReader&) = delete;
  MarkupReader& operator=(const MarkupReader&) = delete;

  // Parses text and returns the first top-level node (later top-level nodes
  // are its siblings), or none when the text starts with neither an element
  // nor text. Ends early, keeping what was built, if memory runs out.
  MarkupNode* Parse(const char* text);

  MarkupReaderState& State() { return state_; }

 private:
  MarkupReaderState state_;
};

// The first node from list onward along the sibling links that is an element
// named name (case-sensitive), or none. Text nodes never match.
MarkupNode* FindChildElement(MarkupNode* list, const char* name);

// The value of the first attribute in the list named name, or none. Lists are
// in reverse document order, so the last of several equal names wins.
const char* GetAttribute(const MarkupAttribute* attributes, const char* name);

}  // namespace kova
