// The country lookup through real WinINet to the vendor services simulator.
#include "reporting/country_lookup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "reporting/network_test_support.h"

namespace kova {
namespace test {
namespace {

const char kLookupUrl[] = "http://geo.kova.com/country?v=1.6.0_07";

class CountryLookupTest : public NetworkTest {};

Reply Country(const std::string& value) { return Answer(200).For("HEAD").WithHeader("COUNTRY", value); }

TEST_F(CountryLookupTest, Answers) {
  const struct {
    const char* name;
    std::vector<Reply> replies;
    const char* country;
  } cases[] = {
      {"two letters", {Country("CH")}, "CH"},
      // Only a country's form reaches the package: no cut three-letter code.
      {"three letters", {Country("DEU")}, "YY"},
      {"lower case kept", {Country("fr")}, "fr"},
      {"not letters", {Country("\"<")}, "YY"},
      {"one letter", {Country("D")}, "YY"},
      {"empty", {Country("")}, "YY"},
      {"no header", {Answer(200).For("HEAD")}, "YY"},
      {"255 characters", {Country(std::string(255, 'Q'))}, "YY"},
      {"too long for the buffer", {Country(std::string(300, 'Q'))}, "YY"},
      {"404", {Answer(404).WithHeader("COUNTRY", "DE")}, "YY"},
      {"500", {Answer(500).WithHeader("COUNTRY", "DE")}, "YY"},
      {"unreadable status", {Raw("HTTP/1.1 abc OK\r\nCOUNTRY: DE\r\n\r\n")}, "YY"},
      {"407, the user gives up", {ProxyChallenge()}, "YY"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Simulator::Script(c.replies);
    released.clear();
    char country[kCountryCodeSize + 4];
    std::memset(country, '#', sizeof country);
    LookupCountry(kLookupUrl, country, NetworkDialogs::kAllowed);
    EXPECT_STREQ(country, c.country);
    EXPECT_EQ(country[3], '#');  // the code is three bytes, no more
    auto seen = Simulator::Requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].request_line, "HEAD http://geo.kova.com:80/country?v=1.6.0_07 HTTP/1.1");
    EXPECT_EQ(seen[0].Header("User-Agent"), "kupdate");
    EXPECT_EQ(seen[0].Header("Host"), "geo.kova.com");
    EXPECT_EQ(seen[0].body, "");
    EXPECT_EQ(released, (std::vector<std::string>{"request", "connection", "internet"}));
  }
}

TEST_F(CountryLookupTest, UrlsNeverAsked) {
  const char* const urls[] = {
      "",
      "http://geo.example.com/country",
      "http://kovasoft.com/country",
      "http://GEO.KOVA.COM/country",
      "http://geo.kova.com:80/country",
      "http://evil.example/?u=http://www.kova.com/",
      "http://evil.example#.kovasoft.com/",
      "http://www.kova.com@evil.example/?http://www.kova.com/",
      "http://evil.example@geo.kova.com/country",
      "http://u:p@geo.kova.com/country",
  };
  Simulator::Script({Country("DE")});
  for (const char* url : urls) {
    SCOPED_TRACE(url);
    char country[kCountryCodeSize] = "AT";
    LookupCountry(url, country, NetworkDialogs::kAllowed);
    EXPECT_STREQ(country, "YY");
  }
  EXPECT_TRUE(Simulator::Requests().empty());
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(CountryLookupTest, SilentFailuresAndRetries) {
  char country[kCountryCodeSize] = "";
  {
    ScopedProxy closed("127.0.0.1:1");
    AnswerDialogs({ERROR_INTERNET_FORCE_RETRY});
    LookupCountry(kLookupUrl, country, NetworkDialogs::kAllowed);
    EXPECT_STREQ(country, "YY");
    EXPECT_TRUE(dialogs.empty());
  }
  // A proxy asking for credentials until the user has given them.
  Simulator::Script({ProxyChallenge().Once(), Country("NO")});
  AnswerDialogs({ERROR_INTERNET_FORCE_RETRY});
  LookupCountry(kLookupUrl, country, NetworkDialogs::kAllowed);
  EXPECT_STREQ(country, "NO");
  EXPECT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(Simulator::Requests().size(), 2u);
}

TEST_F(CountryLookupTest, EachCallStartsFromYY) {
  char country[kCountryCodeSize] = "";
  Simulator::Script({Country("SE")});
  LookupCountry(kLookupUrl, country, NetworkDialogs::kAllowed);
  EXPECT_STREQ(country, "SE");
  Simulator::Script({Answer(500)});
  LookupCountry(kLookupUrl, country, NetworkDialogs::kAllowed);
  EXPECT_STREQ(country, "YY");
}

}  // namespace
}  // namespace test
}  // namespace kova
