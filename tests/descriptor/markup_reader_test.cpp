#include "descriptor/markup_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "descriptor/markup_tokens.h"

namespace kova {
namespace {

// Renders a node list compactly: an element as name[attributes](children),
// attributes in list order as name=value, a text node as #text, siblings
// separated by commas. '<a k="1">x<b/></a>' renders as "a[k=1](#x),b()".
std::string Render(const MarkupNode* list) {
  std::string out;
  for (const MarkupNode* n = list; n != nullptr; n = n->nextSibling) {
    if (!out.empty()) out += ",";
    if (n->kind == NodeText) {
      out += "#";
      out += n->text;
      continue;
    }
    out += n->text;
    if (n->attributes != nullptr) {
      out += "[";
      for (const MarkupAttribute* a = n->attributes; a != nullptr; a = a->next) {
        if (a != n->attributes) out += ",";
        out += a->name;
        out += "=";
        out += a->value;
      }
      out += "]";
    }
    out += "(" + Render(n->firstChild) + ")";
  }
  return out;
}

class MarkupReaderTest : public ::testing::Test {
 protected:
  // Parses with the test's reader, which releases every tree at the end.
  MarkupNode* Parse(const char* text) { return reader_->Parse(text); }
  // A fresh reader (with another allocator) for the rest of the test.
  void NewReader(MarkupAllocator allocator = StandardMarkupAllocator()) {
    reader_.reset(new MarkupReader(allocator));
  }
  std::string ParseAndRender(const std::string& text) { return Render(Parse(text.c_str())); }

  struct TreeCase {
    const char* name;
    std::string input;
    const char* expected;
  };
  void ExpectTrees(const std::vector<TreeCase>& cases) {
    for (const TreeCase& c : cases) EXPECT_EQ(ParseAndRender(c.input), c.expected) << c.name;
  }

  std::unique_ptr<MarkupReader> reader_{new MarkupReader()};
};

TEST_F(MarkupReaderTest, EmptyAndSkipOnlyInputsYieldNoTree) {
  ExpectTrees({
      {"empty", "", ""},
      {"white space", " \t\r\n  ", ""},
      {"comment", "<!-- c -->", ""},
      {"shortest comment", "<!---->", ""},
      {"comment holding --", "<!-- a -- b -->", ""},
      {"declaration", "<!DOCTYPE r>", ""},
      {"processing instruction", "<?pi x?>", ""},
      {"all of them", "<?xml version=\"1.0\"?>\n<!-- c -->\n<!DOCTYPE r>\n", ""},
      {"unterminated comment", "<!-- <a/>", ""},
      {"unterminated declaration", "<!DOCTYPE <a/", ""},
      {"unterminated instruction", "<?xml <a/>", ""},
      {"stray end tag first", "</a><b/>", ""},
      {"stray close first", "><b/>", ""},
  });
}

TEST_F(MarkupReaderTest, PrologIsPassedOverBeforeTheRoot) {
  ExpectTrees({
      {"full prolog", "<?xml version=\"1.0\"?>\n<!-- c -->\n<!DOCTYPE r SYSTEM \"r.dtd\">\n<r/>",
       "r()"},
      {"comment before declaration", "<!--x--><!DOCTYPE r><r/>", "r()"},
      {"comment inside content", "<r><!-- c --><a/></r>", "r(a())"},
      {"instruction inside content", "<r><?pi?>x</r>", "r(#x)"},
      // A CDATA section is a declaration: it ends at its first '>'.
      {"cdata", "<r><![CDATA[x]]></r>", "r()"},
      {"cdata holding >", "<r><![CDATA[1>2]]></r>", "r(#2]]>)"},
  });
}

TEST_F(MarkupReaderTest, ElementsTextAndDocumentOrder) {
  ExpectTrees({
      {"empty element", "<a/>", "a()"},
      {"start and end", "<a></a>", "a()"},
      {"space before />", "<a />", "a()"},
      {"text child", "<a>x</a>", "a(#x)"},
      {"trailing white space kept", "<a>  x  </a>", "a(#x  )"},
      {"white space only content", "<a> \n </a>", "a()"},
      {"children in order", "<list><item>1</item><item>2</item></list>",
       "list(item(#1),item(#2))"},
      {"top-level siblings", "<a/><b/>", "a(),b()"},
      {"prefixed names are plain", "<xml:lang a:b=\"1\"/>", "xml:lang[a:b=1]()"},
      {"name characters", "<_a.b-c1/>", "_a.b-c1()"},
      {"empty name", "<>x</>", "(#x)"},
      {"name cannot start with a digit", "<1a>", "()"},
      {"high bytes end a name", "<a\xe9>x</a>", "a()"},
  });
}

TEST_F(MarkupReaderTest, ListEndings) {
  ExpectTrees({
      // End tags are not matched against the element they close.
      {"any end tag closes", "<a>x</b>", "a(#x)"},
      {"mismatched end then sibling", "<r><a>x</b><c/></r>", "r(a(#x),c())"},
      // A text node ends its list: what follows becomes the parent's sibling.
      {"text ends the list", "<a>x<b/>y</a>", "a(#x),b(),#y"},
      {"text before the first tag", "hello<a/>", "#hello"},
      {"stray > ends the list", "<a>></a><b/>", "a()"},
      {"stray /> ends the list", "<r><a/>/><b/></r>", "r(a())"},
      {"end tag runs to its >", "<r><a></a x=\"1\"><b/></r>", "r(a())"},
  });
}

TEST_F(MarkupReaderTest, TruncatedInputKeepsWhatWasRead) {
  ExpectTrees({
      {"open elements end", "<r><a>text", "r(a(#text))"},
      {"cut in a name", "<r><ab", "r(ab())"},
      {"cut in a value", "<r k=\"unterminated", "r[k=unterminated]()"},
      {"cut after =", "<r k=", "r[k=]()"},
      {"cut in an end tag", "<r><a/></r", "r(a())"},
      {"cut in a comment", "<r>x<!-- cut", "r(#x)"},
  });
}

TEST_F(MarkupReaderTest, Attributes) {
  ExpectTrees({
      {"double-quoted", "<a k=\"v w\"/>", "a[k=v w]()"},
      {"reverse document order", "<a x=\"1\" y=\"2\"/>", "a[y=2,x=1]()"},
      {"duplicate names", "<a k=\"1\" k=\"2\"/>", "a[k=2,k=1]()"},
      {"single quote is no delimiter", "<a k='v'>x</a> y", "a[k='v'>x</a>]()"},
      {"unquoted runs over > and /", "<a k=v/>x", "a[k=v/>x]()"},
      {"unquoted ends at white space", "<a k=v >x</a>", "a[k=v](#x)"},
      {"white space after = ends value", "<a k= v=\"1\"/>", "a[v=1,k=]()"},
      {"name without =", "<a b c=\"1\"/>", "a[c=1]()"},
      {"a name runs over > to white space", "<a b>x</a> <c/>", "a()"},
      {"white space before =", "<a k =\"1\"/>", "a[k=1]()"},
      {"empty name", "<a =\"1\"/>", "a[=1]()"},
      {"value not decoded", "<a k=\"&amp;&lt;\"/>", "a[k=&amp;&lt;]()"},
      {"comment between attributes", "<a x=\"1\" <!--c--> y=\"2\"/>", "a[y=2,x=1]()"},
      // Vertical tab and form feed count as white space inside a start tag.
      {"vt and ff between attributes", "<a\v x=\"1\"\f y=\"2\" \v\f/>", "a[y=2,x=1]()"},
      {"vt before >", "<a\v>x</a>", "a(#x)"},
      {"ff before =", "<a k\f=\"1\"/>", "a[k=1]()"},
      {"vt ends an unquoted value", "<a k=v\vj=w/>", "a[j=w/>,k=v]()"},
      {"vt at the end of input", "<a\v\f", "a()"},
  });
}

TEST_F(MarkupReaderTest, EntitiesInText) {
  ExpectTrees({
      {"the five", "<a>&amp;&lt;&gt;&apos;&quot;</a>", "a(#&<>'\")"},
      {"decoded once", "<a>&amp;lt;</a>", "a(#&lt;)"},
      {"character reference stays", "<a>&#60;&#x3c;</a>", "a(#&#60;&#x3c;)"},
      {"unknown entity stays", "<a>&nbsp;</a>", "a(#&nbsp;)"},
      {"needs its semicolon", "<a>&amp &lt</a>", "a(#&amp &lt)"},
      {"bare ampersands", "<a>& &&amp; &;</a>", "a(#& && &;)"},
      {"entity cut short", "<a>x&am", "a(#x&am)"},
  });
}

TEST_F(MarkupReaderTest, Lookups) {
  MarkupNode* root = Parse("<r k=\"1\" j=\"2\" k=\"3\"><x/><t/><T/>t</r>");
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(GetAttribute(root->attributes, "k"), "3");
  EXPECT_STREQ(GetAttribute(root->attributes, "j"), "2");
  EXPECT_EQ(GetAttribute(root->attributes, "K"), nullptr);
  EXPECT_EQ(GetAttribute(nullptr, "k"), nullptr);
  EXPECT_EQ(GetAttribute(root->attributes, nullptr), nullptr);

  MarkupNode* x = root->firstChild;
  ASSERT_EQ(Render(x), "x(),t(),T(),#t");
  EXPECT_EQ(FindChildElement(x, "x"), x);
  EXPECT_EQ(FindChildElement(x, "t"), x->nextSibling);
  EXPECT_EQ(FindChildElement(x, "T"), x->nextSibling->nextSibling);
  EXPECT_EQ(FindChildElement(x->nextSibling->nextSibling, "t"), nullptr);
  EXPECT_EQ(FindChildElement(x, "missing"), nullptr);
  EXPECT_EQ(FindChildElement(x, nullptr), nullptr);
  EXPECT_EQ(FindChildElement(nullptr, "r"), nullptr);

  // A text node never matches, even when its text is the name asked for.
  EXPECT_EQ(FindChildElement(Parse("<r>t</r>")->firstChild, "t"), nullptr);
  EXPECT_EQ(FindChildElement(Parse("t"), "t"), nullptr);
}

TEST_F(MarkupReaderTest, TreeHoldsCopiesAndStateCarriesOver) {
  char input[] = "<long-element-name k=\"value\">some text</long-element-name>";
  MarkupNode* first = Parse(input);
  int32_t capacity = reader_->State().tokenCapacity;
  EXPECT_GE(capacity, 17);
  memset(input, 'z', sizeof(input) - 1);
  // A shorter document reuses the token buffer, which never shrinks.
  EXPECT_EQ(Render(Parse("<a>b</a>")), "a(#b)");
  EXPECT_EQ(reader_->State().tokenCapacity, capacity);
  EXPECT_EQ(Render(first), "long-element-name[k=value](#some text)");
}

// An allocator that fails every allocation from a given one onward, and can
// note how deep the stack stands whenever it is called.
struct TestAllocator {
  static int remaining;  // allocations left before failing; < 0: no limit
  static int calls;
  static const char* lowestFrame;

  static void* Allocate(size_t bytes) {
    const char* frame = static_cast<const char*>(__builtin_frame_address(0));
    if (lowestFrame == nullptr || frame < lowestFrame) lowestFrame = frame;
    ++calls;
    if (remaining == 0) return nullptr;
    if (remaining > 0) --remaining;
    return malloc(bytes);
  }
  // Starts counting anew; the allocator for a reader.
  static MarkupAllocator Install(int limit) {
    remaining = limit;
    calls = 0;
    lowestFrame = nullptr;
    return {Allocate, free};
  }
};
int TestAllocator::remaining = -1;
int TestAllocator::calls = 0;
const char* TestAllocator::lowestFrame = nullptr;

// Node texts in document order (the order the builder makes them in).
void CollectTexts(const MarkupNode* list, std::vector<std::string>* out) {
  for (const MarkupNode* n = list; n != nullptr; n = n->nextSibling) {
    out->push_back((n->kind == NodeText ? "#" : "") + std::string(n->text));
    CollectTexts(n->firstChild, out);
  }
}

TEST_F(MarkupReaderTest, AllocationFailureEndsTheParseWithWhatWasBuilt) {
  const char* doc =
      "<?xml version=\"1.0\"?><descriptor version=\"2\" a=\"b\">"
      "<post-status enabled=\"1\">http://example.test/post</post-status>"
      "<cntry-lookup url=\"http://example.test/c\" x y=z/>"
      "<very-long-element-name-to-grow-the-token-buffer>tail &amp; more"
      "</very-long-element-name-to-grow-the-token-buffer></descriptor>";
  NewReader(TestAllocator::Install(-1));
  MarkupNode* whole = Parse(doc);
  const int needed = TestAllocator::calls;
  ASSERT_GT(needed, 20);
  std::vector<std::string> wholeTexts;
  CollectTexts(whole, &wholeTexts);

  // Fail each allocation in turn, token buffer growth included.
  for (int limit = 0; limit <= needed; ++limit) {
    MarkupReader reader(TestAllocator::Install(limit));
    MarkupNode* tree = reader.Parse(doc);
    // The nodes made before the failure are all in the tree, nothing after.
    std::vector<std::string> texts;
    CollectTexts(tree, &texts);
    ASSERT_LE(texts.size(), wholeTexts.size()) << limit;
    EXPECT_TRUE(std::equal(texts.begin(), texts.end(), wholeTexts.begin())) << limit;
    if (limit == needed) {
      EXPECT_EQ(Render(tree), Render(whole));
    }
    // The reader stays usable once memory is back.
    TestAllocator::remaining = -1;
    EXPECT_EQ(Render(reader.Parse("<a k=\"v\">x</a>")), "a[k=v](#x)") << limit;
  }
}

// How deep the builder recursed for this tree: one level per nesting step
// and one per sibling. Walked with an explicit stack.
size_t BuilderDepth(const MarkupNode* tree) {
  std::vector<std::pair<const MarkupNode*, size_t>> pending;
  size_t deepest = 0;
  if (tree != nullptr) pending.push_back({tree, 1});
  while (!pending.empty()) {
    auto [node, depth] = pending.back();
    pending.pop_back();
    deepest = std::max(deepest, depth);
    if (node->firstChild != nullptr) pending.push_back({node->firstChild, depth + 1});
    if (node->nextSibling != nullptr) pending.push_back({node->nextSibling, depth + 1});
  }
  return deepest;
}

std::string Repeat(const char* piece, size_t times) {
  std::string s;
  for (size_t i = 0; i < times; ++i) s += piece;
  return s;
}

// The descriptor is at most 10239 bytes. Each nesting level costs at least
// two bytes ("<>") and each sibling at least four ("<a/>"), and the builder
// recurses once per level and per sibling, so these are the deepest inputs.
// The stack they take is measured from the allocator, which the builder
// calls at its deepest point, and must stay a small part of the 1 MiB that
// a 32-bit Windows main thread has.
TEST_F(MarkupReaderTest, WorstCaseDepthFitsTheMainThreadStack) {
  const size_t kMaxInput = 10239;
  const struct {
    const char* name;
    std::string input;
    size_t depth;
  } cases[] = {
      {"nesting <>", Repeat("<>", 5119) + "x", 5120},
      {"nesting <a>", Repeat("<a>", 3413), 3413},
      {"siblings <a/>", Repeat("<a/>", 2559) + "<a>", 2560},
      {"siblings in a root", "<r>" + Repeat("<a></a>", 1462), 1463},
      {"nesting then siblings", Repeat("<>", 2559) + Repeat("<a/>", 1280), 3839},
  };
  // The Windows builds use the product's compiler and flags and run with a
  // 1 MiB main stack: the 32-bit product is held to a quarter of it, the
  // 64-bit test build (pointers and saved registers twice as wide) to half.
  // The host build (sanitizers, no optimisation) spills about seven times as
  // much per level and runs with an 8 MiB main stack; it is held to a quarter.
#ifdef _WIN32
  const size_t kBudget = sizeof(void*) == 4 ? 256 * 1024 : 512 * 1024;
#else
  const size_t kBudget = 2 * 1024 * 1024;
#endif
  for (const auto& c : cases) {
    ASSERT_LE(c.input.size(), kMaxInput) << c.name;
    NewReader(TestAllocator::Install(-1));
    const char* base = static_cast<const char*>(__builtin_frame_address(0));
    MarkupNode* tree = Parse(c.input.c_str());
    ASSERT_NE(TestAllocator::lowestFrame, nullptr);
    const size_t used = static_cast<size_t>(base - TestAllocator::lowestFrame);
    EXPECT_EQ(BuilderDepth(tree), c.depth) << c.name;
    EXPECT_LT(used, kBudget) << c.name;
    printf("[ stack    ] %s: %zu levels, %zu bytes, %zu bytes/level\n", c.name, c.depth,
           used, used / c.depth);
  }
}

}  // namespace
}  // namespace kova
