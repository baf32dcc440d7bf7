// Feeds the markup reader what a server could send (at most 10239 bytes),
// checks the tree's invariants, walks it with both lookups, then parses the
// same bytes once more with an allocation failing part way through.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "descriptor/markup_reader.h"
#include "descriptor/markup_tokens.h"

namespace {

using namespace kova;

const size_t kMaxDescriptor = 10239;
const size_t kFailingParseLimit = 2048;

void Check(bool condition) {
  if (!condition) abort();
}

bool IsNameStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
}

bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

// Element names follow the name rule (or are empty).
bool IsName(const char* s) {
  if (*s == '\0') return true;
  if (!IsNameStart(static_cast<unsigned char>(*s))) return false;
  while (*++s != '\0') {
    if (!IsNameChar(static_cast<unsigned char>(*s))) return false;
  }
  return true;
}

// The first attribute named name, found the long way.
const MarkupAttribute* FirstNamed(const MarkupAttribute* list, const char* name) {
  for (; list != nullptr; list = list->next) {
    if (strcmp(list->name, name) == 0) return list;
  }
  return nullptr;
}

void CheckElement(MarkupNode* node, const char* input, size_t size) {
  Check(IsName(node->text));
  Check(strlen(node->text) <= size);
  // Attributes: the lookup gives the first of a name in list order. The
  // first, the last and one absent name are tried, which keeps the walk
  // linear however many attributes a tag holds.
  const MarkupAttribute* last = nullptr;
  for (const MarkupAttribute* a = node->attributes; a != nullptr; a = a->next) {
    Check(strlen(a->name) + strlen(a->value) < size);
    Check(a->name < input || a->name > input + size);  // copies, not views
    last = a;
  }
  if (last != nullptr) {
    Check(GetAttribute(node->attributes, node->attributes->name) == node->attributes->value);
    Check(GetAttribute(node->attributes, last->name) ==
          FirstNamed(node->attributes, last->name)->value);
  }
  Check(GetAttribute(node->attributes, "\x01" "absent") == nullptr);

  // Children: the first and last element of the list are found by name;
  // a text node's text never finds the text node itself.
  MarkupNode* firstElement = nullptr;
  MarkupNode* lastNode = nullptr;
  for (MarkupNode* c = node->firstChild; c != nullptr; c = c->nextSibling) {
    if (firstElement == nullptr && c->kind == NodeElement) firstElement = c;
    lastNode = c;
  }
  if (firstElement != nullptr) {
    Check(FindChildElement(node->firstChild, firstElement->text) == firstElement);
  }
  if (lastNode != nullptr) {
    MarkupNode* found = FindChildElement(node->firstChild, lastNode->text);
    Check(found == nullptr || found->kind == NodeElement);
    Check(lastNode->kind == NodeElement ? found != nullptr : found != lastNode);
  }
}

// Walks the whole tree without recursion; returns the node count.
size_t Walk(MarkupNode* root, const char* input, size_t size) {
  std::vector<MarkupNode*> pending;
  if (root != nullptr) pending.push_back(root);
  size_t count = 0;
  while (!pending.empty()) {
    MarkupNode* node = pending.back();
    pending.pop_back();
    ++count;
    Check(node->text != nullptr);
    if (node->kind == NodeText) {
      // Text never starts with white space, is never empty, has no children.
      Check(node->text[0] != '\0' && node->text[0] != ' ' && node->text[0] != '\t' &&
            node->text[0] != '\r' && node->text[0] != '\n');
      Check(node->firstChild == nullptr && node->attributes == nullptr);
      // A text node ends the list it stands in.
      Check(node->nextSibling == nullptr);
    } else {
      Check(node->kind == NodeElement);
      CheckElement(node, input, size);
      if (node->firstChild != nullptr) pending.push_back(node->firstChild);
    }
    if (node->nextSibling != nullptr) pending.push_back(node->nextSibling);
  }
  // Every node comes from at least one byte of input.
  Check(count <= size);
  return count;
}

int g_allocationsLeft = -1;
int g_allocations = 0;

void* CountingAllocate(size_t bytes) {
  ++g_allocations;
  if (g_allocationsLeft == 0) return nullptr;
  if (g_allocationsLeft > 0) --g_allocationsLeft;
  return malloc(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxDescriptor) size = kMaxDescriptor;
  char* text = static_cast<char*>(malloc(size + 1));
  memcpy(text, data, size);
  text[size] = '\0';
  size_t length = strlen(text);

  // One reader for both parses: the token buffer and token kind carry over
  // from one parse to the next, and the reader releases everything it built.
  MarkupReader reader({CountingAllocate, free});
  g_allocationsLeft = -1;
  g_allocations = 0;
  MarkupNode* tree = reader.Parse(text);
  size_t nodes = Walk(tree, text, length);

  // Again, with the allocation picked by the input's size failing. The tree
  // must be a well-formed part of the whole one, and nothing may leak. Only
  // for shorter inputs, which hold every construct a long one does and keep
  // the executions per second up.
  if (size <= kFailingParseLimit) {
    g_allocationsLeft = g_allocations == 0 ? 0 : static_cast<int>(size % g_allocations);
    MarkupNode* partial = reader.Parse(text);
    Check(Walk(partial, text, length) <= nodes);
  }

  free(text);
  return 0;
}
