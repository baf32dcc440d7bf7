// The markup reader's tree building and lookups.
#include "descriptor/markup_reader.h"

#include "descriptor/markup_tokens.h"
#include "text/bounded_text.h"

// Keeps helpers out of the recursive builder's frame: the builder recurses
// once per nesting level and once per sibling, so its frame is what bounds
// the stack a deep document needs.
#if defined(__GNUC__) || defined(__clang__)
#define KOVA_NOINLINE __attribute__((noinline))
#else
#define KOVA_NOINLINE
#endif

namespace kova {

namespace {

// Inside a start tag, vertical tab and form feed are passed over like the
// other white space. SkipInsignificant alone leaves them, and since they
// also end an attribute name, the attribute reader would otherwise stand
// still on them for ever.
const char* SkipInsideTag() {
  MarkupReaderState& r = ActiveMarkupReader();
  for (;;) {
    const char* p = SkipInsignificant();
    if (*p != '\v' && *p != '\f') return p;
    while (*p == '\v' || *p == '\f') ++p;
    r.cursor = p;
  }
}

// Reads the attributes of the start tag just read, each put at the head of
// the element's list.
KOVA_NOINLINE void ReadMarkupAttributes(MarkupNode* element) {
  while (MarkupAttribute* attribute = ParseMarkupAttribute()) {
    attribute->next = element->attributes;
    element->attributes = attribute;
  }
}

// Passes over the end tag that is the current token, through its ">".
KOVA_NOINLINE void PassEndTag() {
  MarkupReaderState& r = ActiveMarkupReader();
  do {
    NextMarkupToken();
  } while (r.token != TokenTagClose && r.token != TokenEnd);
  NextMarkupToken();
}

}  // namespace

MarkupNode* NewMarkupNode(MarkupNodeKind kind, const char* text) {
  MarkupNode* node = static_cast<MarkupNode*>(MarkupAllocate(sizeof(MarkupNode)));
  if (node == nullptr) return nullptr;
  node->text = CopyMarkupText(text);
  if (node->text == nullptr) {
    MarkupRelease(node);
    return nullptr;
  }
  node->kind = kind;
  node->nextSibling = nullptr;
  node->firstChild = nullptr;
  node->attributes = nullptr;
  return node;
}

MarkupAttribute* ParseMarkupAttribute() {
  MarkupReaderState& r = ActiveMarkupReader();
  for (;;) {
    const char* p = SkipInsideTag();
    if (*p == '\0' || *p == '>' || (p[0] == '/' && p[1] == '>')) return nullptr;

    const char* nameEnd = p;
    while (*nameEnd != '\0' && *nameEnd != '=' && !IsSpaceChar(*nameEnd)) ++nameEnd;
    if (!SetTokenText(p, nameEnd, TokenAttributeName)) return nullptr;
    r.cursor = nameEnd;

    p = SkipInsideTag();
    if (*p != '=') continue;  // a name without a value is ignored
    // The name is copied only now that it has a value, and before the value
    // takes over the token buffer.
    char* name = CopyMarkupText(r.tokenText);
    if (name == nullptr) return nullptr;

    // No white space is passed over behind "=": it ends the value at once.
    const char* valueStart = p + 1;
    const char* valueEnd;
    if (*valueStart == '"') {
      ++valueStart;
      valueEnd = valueStart;
      while (*valueEnd != '\0' && *valueEnd != '"') ++valueEnd;
      r.cursor = *valueEnd == '"' ? valueEnd + 1 : valueEnd;
    } else {
      valueEnd = valueStart;
      while (*valueEnd != '\0' && !IsSpaceChar(*valueEnd)) ++valueEnd;
      r.cursor = valueEnd;
    }
    char* value = nullptr;
    MarkupAttribute* attribute = nullptr;
    if (SetTokenText(valueStart, valueEnd, TokenAttributeValue) &&
        (value = CopyMarkupText(r.tokenText)) != nullptr) {
      attribute = static_cast<MarkupAttribute*>(MarkupAllocate(sizeof(MarkupAttribute)));
    }
    if (attribute == nullptr) {
      MarkupRelease(name);
      MarkupRelease(value);
      return nullptr;
    }
    attribute->name = name;
    attribute->value = value;
    attribute->next = nullptr;
    return attribute;
  }
}

MarkupNode* BuildMarkupNodes() {
  MarkupReaderState& r = ActiveMarkupReader();
  if (r.token == TokenText) {
    // A text node ends the list it stands in: it gets no sibling.
    MarkupNode* text = NewMarkupNode(NodeText, r.tokenText);
    if (text != nullptr) NextMarkupToken();
    return text;
  }
  if (r.token != TokenStartTag) return nullptr;

  MarkupNode* element = NewMarkupNode(NodeElement, r.tokenText);
  if (element == nullptr) return nullptr;
  ReadMarkupAttributes(element);
  NextMarkupToken();
  if (r.token == TokenEmptyTagClose) {
    NextMarkupToken();
  } else if (r.token == TokenTagClose) {
    NextMarkupToken();
    element->firstChild = BuildMarkupNodes();
    // Any end tag closes the innermost open element; names are not matched.
    if (r.token == TokenEndTag) PassEndTag();
  }
  if (r.token != TokenEnd) element->nextSibling = BuildMarkupNodes();
  return element;
}

MarkupNode* FindChildElement(MarkupNode* list, const char* name) {
  if (name == nullptr) return nullptr;
  for (MarkupNode* node = list; node != nullptr; node = node->nextSibling) {
    if (node->kind == NodeElement && TextEquals(node->text, name)) return node;
  }
  return nullptr;
}

const char* GetAttribute(const MarkupAttribute* attributes, const char* name) {
  if (name == nullptr) return nullptr;
  for (const MarkupAttribute* a = attributes; a != nullptr; a = a->next) {
    if (TextEquals(a->name, name)) return a->value;
  }
  return nullptr;
}

}  // namespace kova
