#include "text/bounded_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kova {
namespace {

// A buffer with a guard region after it, so a write past cap is caught.
struct Guarded {
  char bytes[64];
  static constexpr char kGuard = '#';
  Guarded() { std::memset(bytes, kGuard, sizeof bytes); }
  bool GuardIntactFrom(size_t cap) const {
    for (size_t i = cap; i < sizeof bytes; ++i) {
      if (bytes[i] != kGuard) return false;
    }
    return true;
  }
};

struct CopyCase {
  const char* src;
  size_t cap;
  bool fit;
  const char* cut;  // what the ...Cut functions leave; the others leave it only when all fit
};

TEST(BoundedText, CopyAndAppendStayWithinCapAndTerminate) {
  const CopyCase cases[] = {
      {"", 1, true, ""},         {"abc", 4, true, "abc"}, {"abcd", 4, false, "abc"},
      {"abcdef", 1, false, ""},  {"abc", 10, true, "abc"},
  };
  for (const auto& c : cases) {
    Guarded g;
    EXPECT_EQ(TextCopy(g.bytes, c.cap, c.src), c.fit) << c.src << " cap " << c.cap;
    EXPECT_STREQ(g.bytes, c.fit ? c.cut : "");
    EXPECT_TRUE(g.GuardIntactFrom(c.cap));
    Guarded cut;
    EXPECT_EQ(TextCopyCut(cut.bytes, c.cap, c.src), c.fit);
    EXPECT_STREQ(cut.bytes, c.cut);
    EXPECT_TRUE(cut.GuardIntactFrom(c.cap));
  }
  // An append that does not fit empties the whole buffer, or cuts.
  for (bool cut : {false, true}) {
    Guarded g;
    EXPECT_TRUE(TextCopy(g.bytes, 8, "ab"));
    EXPECT_TRUE(TextAppend(g.bytes, 8, "cde"));
    EXPECT_FALSE(cut ? TextAppendCut(g.bytes, 8, "fghij") : TextAppend(g.bytes, 8, "fghij"));
    EXPECT_STREQ(g.bytes, cut ? "abcdefg" : "");
    EXPECT_TRUE(g.GuardIntactFrom(8));
  }
  Guarded g;
  g.bytes[0] = 'a';
  EXPECT_FALSE(TextCopy(g.bytes, 0, "x"));  // nothing may be written at all
  EXPECT_EQ(g.bytes[0], 'a');
}

TEST(BoundedText, AppendToUnterminatedBufferTerminatesIt) {
  Guarded g;
  std::memset(g.bytes, 'z', 8);
  EXPECT_FALSE(TextAppendCut(g.bytes, 8, "a"));
  EXPECT_EQ(std::string(g.bytes), "zzzzzzz");
  std::memset(g.bytes, 'z', 8);
  EXPECT_FALSE(TextAppend(g.bytes, 8, "a"));
  EXPECT_EQ(std::string(g.bytes), "");
  EXPECT_TRUE(g.GuardIntactFrom(8));
}

struct FormatCase {
  size_t cap;
  bool fit;
  std::string expect;
};

TEST(BoundedText, FormatConversionsAndBounds) {
  char out[128];
  EXPECT_TRUE(TextFormat(out, sizeof out, "%s|%d|%d|%u|%x|%c|%%|%q", "s", -5,
                         static_cast<int32_t>(INT32_MIN), 4294967294u, 0x6b6f7661u, 'k'));
  EXPECT_STREQ(out, "s|-5|-2147483648|4294967294|6b6f7661|k|%|%q");
  EXPECT_TRUE(TextFormat(out, sizeof out, "100%"));
  EXPECT_STREQ(out, "100%");
  EXPECT_TRUE(TextFormat(out, sizeof out, "%s", static_cast<const char*>(nullptr)));
  EXPECT_STREQ(out, "");

  const FormatCase cases[] = {{6, true, "ab-12"}, {5, false, "ab-1"}, {1, false, ""}};
  for (const auto& c : cases) {
    Guarded g;
    EXPECT_EQ(TextFormat(g.bytes, c.cap, "%s%d", "ab", -12), c.fit) << c.cap;
    EXPECT_EQ(std::string(g.bytes), c.fit ? c.expect : "");
    EXPECT_TRUE(g.GuardIntactFrom(c.cap));
    Guarded cut;
    EXPECT_EQ(TextFormatCut(cut.bytes, c.cap, "%s%d", "ab", -12), c.fit);
    EXPECT_EQ(std::string(cut.bytes), c.expect);
    EXPECT_TRUE(cut.GuardIntactFrom(c.cap));
  }
}

TEST(BoundedText, FormatFromItselfExtendsInPlace) {
  char path[32] = "C:\\data";
  EXPECT_TRUE(TextFormat(path, sizeof path, "%s\\Orvo\\", path));
  EXPECT_TRUE(TextFormat(path, sizeof path, "%s%s%s", path, "krt", "1.6"));
  EXPECT_STREQ(path, "C:\\data\\Orvo\\krt1.6");
}

TEST(BoundedText, Comparisons) {
  EXPECT_TRUE(TextEquals("reinstall", "reinstall"));
  EXPECT_FALSE(TextEquals("Reinstall", "reinstall"));
  EXPECT_FALSE(TextEquals("re", "reinstall"));
  EXPECT_TRUE(TextContains(" /qn /x", "/qn"));
  EXPECT_FALSE(TextContains(" /QN", "/qn"));
  EXPECT_TRUE(TextContains("", ""));
  EXPECT_TRUE(TextStartsWith("/v\"x", "/v\""));
  EXPECT_FALSE(TextStartsWith("/", "/v"));
  EXPECT_EQ(TextLengthN("abc", 2), 2u);
  EXPECT_EQ(TextLengthN("abc", 8), 3u);
}

}  // namespace
}  // namespace kova
