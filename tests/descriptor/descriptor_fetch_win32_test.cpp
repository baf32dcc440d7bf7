// The update descriptor fetch through real WinINet to the vendor services
// simulator, with InstallerXmlURL in the real registry.
#include "descriptor/descriptor_fetch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "product/process_state.h"
#include "platform/win32_test_support.h"
#include "reporting/network_test_support.h"

namespace kova {
namespace test {
namespace {

const char kDefaultRequestLine[] =
    "GET http://update.kova.com:80/update/1.6.0/1.6.0_07-b06.xml HTTP/1.1";

std::string Descriptor(const std::string& blocks) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kova-update>\n" + blocks +
         "</kova-update>\n";
}

std::string Block(const char* lang, const std::string& post, const std::string& lookup) {
  return std::string("<information version=\"1.0\" xml:lang=\"") + lang + "\">" +
         "<post-status>" + post + "</post-status><cntry-lookup>" + lookup +
         "</cntry-lookup></information>\n";
}

const std::string kEnDescriptor =
    Descriptor(Block("en", "http://ps.kova.com/post", "http://geo.kova.com/cc?a=1&amp;b=2"));

// Keeps the vendor key's InstallerXmlURL as it was found.
class DescriptorFetchTest : public NetworkTest {
 protected:
  void SetUp() override {
    NetworkTest::SetUp();
    if (IsSkipped()) return;
    xml_url_.reset(new test::ScopedRegistryValue("Software\\KovaSoft", "InstallerXmlURL"));
    ASSERT_TRUE(xml_url_->Opened());
    xml_url_->Delete();
    ResetState();
  }
  void TearDown() override {
    xml_url_.reset();
    ResetState();
    NetworkTest::TearDown();
  }
  void SetUrl(const std::string& url) {
    ASSERT_TRUE(xml_url_->Set(REG_SZ, std::string(url.c_str(), url.size() + 1)));
  }
  // Values a fetch must empty or leave alone.
  void ResetState() {
    ProcessState& s = state_;
    s.reporting = 0;
    std::strcpy(s.post_status_url, "stale post");
    std::strcpy(s.country_lookup_url, "stale lookup");
  }

  // Made in SetUp, after the simulator check, so a skipped test touches nothing.
  std::unique_ptr<test::ScopedRegistryValue> xml_url_;
  ProcessState state_{};
};

TEST_F(DescriptorFetchTest, DescriptorUrls) {
  const struct {
    const char* name;
    bool set;
    std::string value;
    std::string request_line;
  } cases[] = {
      {"no value", false, "", kDefaultRequestLine},
      {"empty value", true, "", kDefaultRequestLine},
      {"too long for its buffer", true, "http://alt.kova.com/" + std::string(1100, 'x'),
       kDefaultRequestLine},
      {"another URL with a query", true, "http://test.example:8080/d/krt.xml?lang=de&v=1#top",
       "GET http://test.example:8080/d/krt.xml?lang=de&v=1#top HTTP/1.1"},
      {"no path", true, "http://test.example", "GET http://test.example:80/ HTTP/1.1"},
      {"the longest URL its buffer holds", true,
       "http://test.example/" + std::string(600, 'p') + "?" + std::string(402, 'q'),
       "GET http://test.example:80/" + std::string(600, 'p') + "?" + std::string(402, 'q') +
           " HTTP/1.1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    xml_url_->Delete();
    if (c.set) SetUrl(c.value);
    Simulator::Script({Answer(200).WithBody(kEnDescriptor)});
    released.clear();
    EXPECT_TRUE(FetchUpdateDescriptor(&state_));
    auto seen = Simulator::Requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].request_line, c.request_line);
    EXPECT_EQ(seen[0].Header("User-Agent"), "kupdate");
    EXPECT_EQ(seen[0].body, "");
    for (const std::string& line : seen[0].header_lines) {
      const std::string name = line.substr(0, line.find(':'));
      EXPECT_TRUE(name == "Host" || name == "User-Agent" || name == "Connection" ||
                  name == "Proxy-Connection" || name == "Cache-Control" || name == "Pragma")
          << line;
    }
    EXPECT_EQ(released, (std::vector<std::string>{"request", "connection", "internet"}));
  }
}

TEST_F(DescriptorFetchTest, Answers) {
  const std::string head =
      "<kova-update><information version=\"1.0\" xml:lang=\"en\"><cntry-lookup>";
  const std::string url = "http://geo.kova.com/cc?";
  const std::string tail = head + url + "1234567";
  // A body of n bytes that ends in the cntry-lookup text, without end tags;
  // a comment before the root makes up the length.
  auto body_of = [&](size_t n) {
    return "<!--" + std::string(n - tail.size() - 7, 'x') + "-->" + tail;
  };
  const struct {
    const char* name;
    Reply reply;
    bool fetched;
    int reporting;
    std::string post;
    std::string lookup;
  } cases[] = {
      {"200", Answer(200).WithBody(kEnDescriptor), 1, 1, "http://ps.kova.com/post",
       "http://geo.kova.com/cc?a=1&b=2"},
      {"200 with post-status 0",
       Answer(200).WithBody(Descriptor(Block("en", "0", "http://geo.kova.com/cc"))), 1, 0, "",
       "http://geo.kova.com/cc"},
      {"200 with a post-status URL whose host has a user name: dropped",
       Answer(200).WithBody(Descriptor(
           Block("en", "http://user@stats.kovasoft.com/post", "http://geo.kova.com/cc"))),
       1, 1, "", "http://geo.kova.com/cc"},
      {"200 without a body", Answer(200), 1, 0, "", ""},
      {"200 with an HTML page", Answer(200).WithBody("<html><body>Moved</body></html>"), 1, 0, "",
       ""},
      {"200 with a cut body: what arrived is read",
       Answer(200).WithBody(tail + std::string(tail.size(), 'z')).Truncated(), 1, 0, "",
       url + "1234567"},
      {"404", Answer(404).WithBody(kEnDescriptor), 0, 0, "", ""},
      {"500", Answer(500).WithBody(kEnDescriptor), 0, 0, "", ""},
      {"unreadable status", Raw("HTTP/1.1 abc OK\r\nContent-Length: 0\r\n\r\n"), 0, 0, "", ""},
      {"407: no dialog, no retry", ProxyChallenge().WithBody(kEnDescriptor), 0, 0, "", ""},
      {"reset: no dialog", Reset(), 0, 0, "", ""},
      {"10239 bytes: read whole", Answer(200).WithBody(body_of(10239)), 1, 0, "", url + "1234567"},
      {"10240 bytes: the last one cut", Answer(200).WithBody(body_of(10240)), 1, 0, "",
       url + "123456"},
      {"longer: one read, cut to 10239",
       Answer(200).WithBody(body_of(10240) + std::string(5000, 'z')), 1, 0, "", url + "123456"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetState();
    Simulator::Script({c.reply});
    dialogs.clear();
    released.clear();
    AnswerDialogs({ERROR_INTERNET_FORCE_RETRY});
    EXPECT_EQ(FetchUpdateDescriptor(&state_), c.fetched);
    EXPECT_EQ(state_.reporting, c.reporting);
    EXPECT_EQ(std::string(state_.post_status_url), c.post);
    EXPECT_EQ(std::string(state_.country_lookup_url), c.lookup);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(Simulator::Requests().size(), 1u);
    EXPECT_EQ(released, (std::vector<std::string>{"request", "connection", "internet"}));
  }
}

TEST_F(DescriptorFetchTest, BlocksChosenByTheLanguageTag) {
  std::strcpy(state_.language_tag, "de");
  Simulator::Script({Answer(200).WithBody(
      Descriptor(Block("en", "http://en.kova.com/post", "http://en.kova.com/cc") +
                 Block("de", "http://de.kova.com/post", "http://de.kova.com/cc") +
                 Block("en", "http://late.kova.com/", "http://late.kova.com/")))});
  EXPECT_TRUE(FetchUpdateDescriptor(&state_));
  EXPECT_EQ(state_.reporting, 1);
  EXPECT_STREQ(state_.post_status_url, "http://de.kova.com/post");
  EXPECT_STREQ(state_.country_lookup_url, "http://de.kova.com/cc");
}

TEST_F(DescriptorFetchTest, FailuresBeforeAnyAnswer) {
  const struct {
    const char* name;
    std::string url;
    std::string proxy;
  } cases[] = {
      {"connection refused", "", "127.0.0.1:1"},
      {"name not resolved", "", "proxy.invalid:8080"},
      {"URL that cannot be split", "update.kova.com/krt.xml", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    xml_url_->Delete();
    if (!c.url.empty()) SetUrl(c.url);
    ResetState();
    std::unique_ptr<ScopedProxy> proxy;
    if (!c.proxy.empty()) proxy.reset(new ScopedProxy(c.proxy));
    EXPECT_FALSE(FetchUpdateDescriptor(&state_));
    EXPECT_STREQ(state_.post_status_url, "");
    EXPECT_STREQ(state_.country_lookup_url, "");
    EXPECT_TRUE(dialogs.empty());
  }
  EXPECT_TRUE(Simulator::Requests().empty());
}

TEST_F(DescriptorFetchTest, HttpsDescriptorIsRequestedOverTls) {
  SetUrl("https://update.kova.com/update/1.6.0/1.6.0_07-b06.xml");
  // Answered with an error: Wine cannot carry TLS through a proxy tunnel.
  Simulator::Script({Answer(502).For("CONNECT")});
  EXPECT_FALSE(FetchUpdateDescriptor(&state_));
  auto seen = Simulator::Requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].request_line, "CONNECT update.kova.com:443 HTTP/1.1");
}

}  // namespace
}  // namespace test
}  // namespace kova
