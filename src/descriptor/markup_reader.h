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
// The reader keeps one process-wide state (see markup_tokens.h) and is not
// reentrant: one parse at a time, on one thread.
#pragma once

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

// Parses text and returns the first top-level node (later top-level nodes are
// its siblings), or none when the text starts with neither an element nor
// text. The tree is never released by the bootstrapper: it lives until the
// process ends. Ends early, keeping what was built, if memory runs out.
MarkupNode* ParseMarkup(const char* text);

// The first node from list onward along the sibling links that is an element
// named name (case-sensitive), or none. Text nodes never match.
MarkupNode* FindChildElement(MarkupNode* list, const char* name);

// The value of the first attribute in the list named name, or none. Lists are
// in reverse document order, so the last of several equal names wins.
const char* GetAttribute(const MarkupAttribute* attributes, const char* name);

// For tools that parse many texts in one process (tests, fuzzing): releases a
// whole tree, iteratively, whatever its depth. The bootstrapper never calls it.
void ReleaseMarkupTree(MarkupNode* tree);

// Returns the reader's process-wide state to its start values, releasing the
// token buffer and restoring the standard allocator. For tests and fuzzing.
void ResetMarkupReader();

}  // namespace kova
