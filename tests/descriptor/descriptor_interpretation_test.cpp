#include "descriptor/descriptor_interpretation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kova {
namespace {

// A block: <information version=".." xml:lang="..">body</information>.
std::string Block(const char* version, const char* lang, const std::string& body) {
  std::string b = "<information";
  if (version != nullptr) b += std::string(" version=\"") + version + "\"";
  if (lang != nullptr) b += std::string(" xml:lang=\"") + lang + "\"";
  return b + ">" + body + "</information>";
}

std::string Post(const std::string& url) { return "<post-status>" + url + "</post-status>"; }
std::string Lookup(const std::string& url) { return "<cntry-lookup>" + url + "</cntry-lookup>"; }

std::string Doc(const std::string& blocks) {
  return "<?xml version=\"1.0\"?>\n<!-- descriptor -->\n<kova-update>\n" + blocks +
         "\n</kova-update>\n";
}

const std::string kEn = Block("1.0", "en", Post("http://en.kova.com/post") +
                                               Lookup("http://en.kova.com/cc"));
const std::string kDe = Block("1.0", "de", Post("http://de.kova.com/post") +
                                               Lookup("http://de.kova.com/cc"));
const std::string kLong(300, 'u');

struct Case {
  const char* name;
  const char* tag;
  std::string document;
  int reporting;
  std::string post_status;
  std::string country_lookup;
};

const Case kCases[] = {
    {"en only", "en", Doc(kEn), 1, "http://en.kova.com/post", "http://en.kova.com/cc"},
    {"user language after en overrides it", "de", Doc(kEn + kDe), 1, "http://de.kova.com/post",
     "http://de.kova.com/cc"},
    {"user language first ends the visit", "de", Doc(kDe + kEn), 1, "http://de.kova.com/post",
     "http://de.kova.com/cc"},
    {"tag en: only the first en block", "en",
     Doc(kEn + Block("1.0", "en", Post("http://second.kova.com/"))), 1,
     "http://en.kova.com/post", "http://en.kova.com/cc"},
    {"en block goes on to the next en block", "fr",
     Doc(kEn + Block("1.0", "en", Post("http://second.kova.com/"))), 1,
     "http://second.kova.com/", "http://en.kova.com/cc"},
    {"own block without post-status turns reporting off", "de",
     Doc(kEn + Block("1.0", "de", Lookup("http://de.kova.com/cc"))), 0,
     "http://en.kova.com/post", "http://de.kova.com/cc"},
    {"another language is skipped", "ja", Doc(kDe), 0, "", ""},
    {"language compared exactly", "de", Doc(Block("1.0", "DE", Post("x")) +
                                            Block("1.0", "En", Post("y"))), 0, "", ""},
    {"version 1.1", "en", Doc(Block("1.1", "en", Post("http://a.kova.com/"))), 0, "", ""},
    {"version 1.0 only exactly", "en", Doc(Block("1.00", "en", Post("http://a.kova.com/"))), 0,
     "", ""},
    {"no version", "en", Doc(Block(nullptr, "en", Post("http://a.kova.com/"))), 0, "", ""},
    {"no xml:lang", "en", Doc(Block("1.0", nullptr, Post("http://a.kova.com/"))), 0, "", ""},
    {"post-status 0", "en", Doc(Block("1.0", "en", Post("0") + Lookup("http://l.kova.com/"))), 0,
     "", "http://l.kova.com/"},
    {"0 and a line break is a URL", "en", Doc(Block("1.0", "en", Post("0\n"))), 1, "0\n", ""},
    {"00 is a URL", "en", Doc(Block("1.0", "en", Post("00"))), 1, "00", ""},
    {"empty post-status", "en", Doc(Block("1.0", "en", "<post-status></post-status>")), 0, "",
     ""},
    {"self-closed post-status", "en", Doc(Block("1.0", "en", "<post-status/>")), 0, "", ""},
    // The value is the first child's text; an element child gives its name.
    {"an element child gives its name", "en",
     Doc(Block("1.0", "en", "<post-status><a/>http://p.kova.com/</post-status>" +
                                Lookup("<b>http://l.kova.com/</b>"))),
     1, "a", "b"},
    {"entity in a URL", "en",
     Doc(Block("1.0", "en", Lookup("http://l.kova.com/cc?a=1&amp;b=2"))), 0, "",
     "http://l.kova.com/cc?a=1&b=2"},
    {"first of two equal children", "en",
     Doc(Block("1.0", "en", Post("http://one.kova.com/") + Post("http://two.kova.com/"))), 1,
     "http://one.kova.com/", ""},
    {"other children ignored", "en",
     Doc(Block("1.0", "en", "<offline-options>1</offline-options><sponsor-preference>x"
                            "</sponsor-preference>" + Post("http://p.kova.com/"))),
     1, "http://p.kova.com/", ""},
    {"other root children ignored", "en",
     Doc("<informations version=\"1.0\" xml:lang=\"en\">" + Post("x") + "</informations>" +
         "<other/>" + kEn),
     1, "http://en.kova.com/post", "http://en.kova.com/cc"},
    {"another root name", "en", "<Kova-Update>" + kEn + "</Kova-Update>", 0, "", ""},
    {"first top-level node decides", "en", "<other/>" + Doc(kEn), 0, "", ""},
    {"plain text", "en", "Service unavailable", 0, "", ""},
    {"html error page", "en", "<html><body><h1>500</h1></body></html>", 0, "", ""},
    {"empty document", "en", "", 0, "", ""},
    {"values cut to 255 bytes", "en",
     Doc(Block("1.0", "en", Post(kLong) + Lookup(kLong))), 1, kLong.substr(0, 255),
     kLong.substr(0, 255)},
    {"255 bytes kept whole", "en",
     Doc(Block("1.0", "en", Post(kLong.substr(0, 255)))), 1, kLong.substr(0, 255), ""},
    {"truncated document keeps what was read", "en",
     "<kova-update><information version=\"1.0\" xml:lang=\"en\"><post-status>http://t.kova.com/",
     1, "http://t.kova.com/", ""},
};

TEST(DescriptorInterpretation, Documents) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    MarkupReader reader;
    ProcessState state{};
    MarkupNode* tree = reader.Parse(c.document.c_str());
    ApplyDescriptorTree(tree, c.tag, &state);
    EXPECT_EQ(state.reporting, c.reporting);
    EXPECT_EQ(std::string(state.post_status_url), c.post_status);
    EXPECT_EQ(std::string(state.country_lookup_url), c.country_lookup);
  }
}

// A document without a usable block leaves every value as it was; a usable
// block clears the flag before it decides, and keeps what it does not carry.
TEST(DescriptorInterpretation, OnlyAppliedBlocksChangeTheState) {
  const struct {
    const char* name;
    std::string document;
    int reporting;
    const char* post_status;
    const char* country_lookup;
  } cases[] = {
      {"unusable", Doc(Block("1.1", "en", Post("http://a.kova.com/"))), 1, "before-post",
       "before-lookup"},
      {"block with nothing", Doc(Block("1.0", "en", "")), 0, "before-post", "before-lookup"},
      {"block with a lookup only", Doc(Block("1.0", "en", Lookup("http://l.kova.com/"))), 0,
       "before-post", "http://l.kova.com/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MarkupReader reader;
    ProcessState state{};
    state.reporting = 1;
    std::strcpy(state.post_status_url, "before-post");
    std::strcpy(state.country_lookup_url, "before-lookup");
    MarkupNode* tree = reader.Parse(c.document.c_str());
    ApplyDescriptorTree(tree, "en", &state);
    EXPECT_EQ(state.reporting, c.reporting);
    EXPECT_STREQ(state.post_status_url, c.post_status);
    EXPECT_STREQ(state.country_lookup_url, c.country_lookup);
  }
}

}  // namespace
}  // namespace kova
