#include "reporting/status_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "reporting/vendor_endpoints.h"

namespace kova {
namespace {

std::string ProductionToken() {
  char token[16];
  std::snprintf(token, sizeof token, "%x", static_cast<unsigned>(kMetricsToken));
  return token;
}

TEST(ReportElement, AppendsTagsAndEscapedValue) {
  const struct {
    const char* value;
    const char* element;
  } cases[] = {
      {"DE", "<evar8>DE</evar8>"},
      {"", "<evar8></evar8>"},
      {"<x", "<evar8>&lt;x</evar8>"},
      {"1.6&0", "<evar8>1.6&amp;0</evar8>"},
      {"a>b\"c'd", "<evar8>a&gt;b&quot;c&apos;d</evar8>"},
      {"&amp;", "<evar8>&amp;amp;</evar8>"},  // already an entity: escaped again
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    char buffer[64] = "";
    EXPECT_TRUE(AppendElement(buffer, sizeof buffer, "evar8", c.value));
    EXPECT_STREQ(buffer, c.element);
  }

  char small[12] = "";
  EXPECT_FALSE(AppendElement(small, sizeof small, "evar8", "DE"));
  EXPECT_STREQ(small, "");
}

TEST(ReportUrl, SplitAtFirstComma) {
  const struct {
    const char* url;
    size_t url_length;
    const char* suite;
    bool development;
  } cases[] = {
      {"http://stats.kova.com/b/ss", 26, "orvoinstallstat", false},
      {"http://stats.kova.com/b/ss,orvoinstallstatdev", 26, "orvoinstallstatdev", true},
      {"http://stats.kova.com/b/ss,", 26, "", false},  // a trailing comma: empty suite id
      {"http://s.kova.com/,orvoinstallstat", 18, "orvoinstallstat", false},
      {"http://s.kova.com/,a,b", 18, "a,b", false},  // further commas belong to it
      {"http://s.kova.com/,OrvoInstallStatDev", 18, "OrvoInstallStatDev", false},
      {"http://s.kova.com/,orvoinstallstatdev ", 18, "orvoinstallstatdev ", false},
      {",orvoinstallstatdev", 0, "orvoinstallstatdev", true},
      // Longer than 19 characters: cut at the buffer's end, and a cut id
      // never becomes the development suite.
      {"http://s.kova.com/,orvoinstallstatdevX", 18, "orvoinstallstatdevX", false},
      {"http://s.kova.com/,orvoinstallstatdevXYZ", 18, "orvoinstallstatdevX", false},
      {"http://s.kova.com/,abcdefghijklmnopqrstuvwxyz", 18, "abcdefghijklmnopqrs", false},
  };
  for (const auto& c : cases) {
    char suite[kReportSuiteIdSize + 8];
    std::memset(suite, '#', sizeof suite);
    size_t length = 999;
    SplitPostStatusUrl(c.url, &length, suite, kReportSuiteIdSize);
    EXPECT_EQ(length, c.url_length) << c.url;
    EXPECT_STREQ(suite, c.suite) << c.url;
    EXPECT_EQ(suite[kReportSuiteIdSize], '#') << "wrote past the suite id buffer: " << c.url;
    EXPECT_EQ(IsDevelopmentSuite(suite), c.development) << c.url;
  }
}

TEST(ReportProp20, DecidedOnTheWholeUrl) {
  const std::string production = std::string(kMetricsPrefix) + "/b/ss";
  const std::string token = ProductionToken();
  const struct {
    std::string url;
    std::string value;
  } cases[] = {
      {production, token},
      {production + ",orvoinstallstatdev", token},
      {kMetricsPrefix, token},
      {std::string(kMetricsPrefix) + ".evil.example/", token},  // only the start is compared
      {"https://stats.kova.com/b/ss", "qaplaceholder"},
      {"http://stats.kova.com/b/ss?u=https://x", "qaplaceholder"},
      {"http://stats.kova.com/b/ss,https://", "qaplaceholder"},
      {"HTTPS://stats.kova.com/", "plaintextdummy"},
      {"http://stats.kova.com/b/ss", "plaintextdummy"},
      {"http" + std::string(kMetricsPrefix + 5), "plaintextdummy"},
  };
  for (const auto& c : cases) {
    char value[kProp20Size];
    Prop20Value(c.url.c_str(), value, sizeof value);
    EXPECT_EQ(value, c.value) << c.url;
  }
  EXPECT_LE(token.size(), 8u);
}

TEST(ReportProducts, CodeAndInstallStatus) {
  const struct {
    const char* status;
    int32_t code;
    const char* products;
  } cases[] = {
      {"", 1603, ";krt|1603"},
      {"exists", 1603, ";krt|-128"},
      {"exists", 1602, ";krt|-128"},
      {"exists", 1618, ";krt|1618"},
      {"exists", -128, ";krt|-128"},
      {"Exists", 1603, ";krt|1603Exists"},  // exact comparison
      {"diskfull", 1603, ";krt|1603diskfull"},
      {"diskfull", 1602, ";krt|1602diskfull"},
      {"", -2, ";krt|-2"},  // a negative code keeps its sign
      {"", -2147483647 - 1, ";krt|-2147483648"},
      {"", 0, ";krt|0"},
  };
  for (const auto& c : cases) {
    char products[kProductsTextSize];
    EXPECT_TRUE(FormatProductsText(c.status, c.code, products, sizeof products));
    EXPECT_STREQ(products, c.products);
  }
}

TEST(ReportProducts, LongInstallStatusIsCutAtTheBuffer) {
  const std::string status(511, 's');  // the longest install status
  char products[kProductsTextSize + 8];
  std::memset(products, '#', sizeof products);
  EXPECT_FALSE(FormatProductsText(status.c_str(), 1603, products, kProductsTextSize));
  EXPECT_EQ(std::string(products), ";krt|1603" + std::string(255 - 9, 's'));
  EXPECT_EQ(products[kProductsTextSize], '#');
}

ReportBodyFields Fields(const char* suite, bool prop21, const char* prop20) {
  return ReportBodyFields{suite,      "1a2b48d1-e0f010ff", prop21,  prop20, "ic",
                          "1.6.0_07-b06", "1.5.0_10",      "i586",  "winxp-sp2", "koff",
                          "DE",           ";krt|1603"};
}

TEST(ReportBody, ProductionSuite) {
  char body[kReportBodySize];
  BodySpan span{};
  ASSERT_TRUE(BuildReportBody(Fields("orvoinstallstat", false, "plaintextdummy"), body,
                              sizeof body, &span));
  EXPECT_STREQ(body,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <request> "
               "<sc_xml_ver>1.0</sc_xml_ver>"
               "<reportsuiteid>orvoinstallstat</reportsuiteid>"
               "<visitorid>1a2b48d1-e0f010ff</visitorid>"
               "<prop20>plaintextdummy</prop20>"
               "<pagename>ic</pagename>"
               "<evar2>1.6.0_07-b06</evar2>"
               "<evar3>1.5.0_10</evar3>"
               "<evar4>i586</evar4>"
               "<evar5>i586</evar5>"
               "<evar6>winxp-sp2</evar6>"
               "<evar7>koff</evar7>"
               "<evar8>DE</evar8>"
               "<events>event6,event7</events>"
               "<products>;krt|1603</products>"
               "</request>");
  EXPECT_EQ(std::string(body + span.at, span.length), "plaintextdummy");
}

TEST(ReportBody, Prop21AndTheMask) {
  // The development suite, a "PingTest" value and a trailing comma's empty
  // suite id differ only in these two elements.
  const struct {
    const char* suite;
    bool prop21;
    const char* expected_head;
  } cases[] = {
      {"orvoinstallstatdev", true,
       "<reportsuiteid>orvoinstallstatdev</reportsuiteid>"
       "<visitorid>1a2b48d1-e0f010ff</visitorid><prop21>1a2b48d1-e0f010ff</prop21><prop20>"},
      {"orvoinstallstat", true,
       "<reportsuiteid>orvoinstallstat</reportsuiteid>"
       "<visitorid>1a2b48d1-e0f010ff</visitorid><prop21>1a2b48d1-e0f010ff</prop21><prop20>"},
      {"", false,
       "<reportsuiteid></reportsuiteid><visitorid>1a2b48d1-e0f010ff</visitorid><prop20>"},
  };
  const std::string token = ProductionToken();
  for (const auto& c : cases) {
    char body[kReportBodySize];
    BodySpan span{};
    ASSERT_TRUE(BuildReportBody(Fields(c.suite, c.prop21, token.c_str()), body, sizeof body,
                                &span));
    const std::string text = body;
    EXPECT_NE(text.find(c.expected_head), std::string::npos) << text;

    MaskSpan(body, sizeof body, span);
    std::string masked = body;
    EXPECT_NE(masked.find("<prop20>" + std::string(token.size(), 'X') + "</prop20>"),
              std::string::npos)
        << masked;
    // Nothing else changed.
    EXPECT_EQ(masked.size(), text.size());
    EXPECT_EQ(masked.substr(0, span.at), text.substr(0, span.at));
    EXPECT_EQ(masked.substr(span.at + span.length), text.substr(span.at + span.length));
  }
}

TEST(ReportBody, MaskFollowsTheRealValueNotAnEarlierLookalike) {
  // A stored visitor id may hold anything, a prop20 tag included (escaped).
  ReportBodyFields fields = Fields("orvoinstallstatdev", true, "qaplaceholder");
  fields.visitor_id = "<prop20>aaaaaaaaa";
  char body[kReportBodySize];
  BodySpan span{};
  ASSERT_TRUE(BuildReportBody(fields, body, sizeof body, &span));
  MaskSpan(body, sizeof body, span);
  const std::string masked = body;
  EXPECT_NE(masked.find("<visitorid>&lt;prop20&gt;aaaaaaaaa</visitorid>"), std::string::npos);
  EXPECT_NE(masked.find("</prop21><prop20>XXXXXXXXXXXXX</prop20><pagename>"), std::string::npos)
      << masked;
}

TEST(ReportBody, TooLongIsLeftEmpty) {
  const std::string huge(3000, 'h');
  ReportBodyFields fields = Fields("orvoinstallstat", false, "plaintextdummy");
  fields.install_method = huge.c_str();
  char body[kReportBodySize + 8];
  std::memset(body, '#', sizeof body);
  BodySpan span{};
  EXPECT_FALSE(BuildReportBody(fields, body, kReportBodySize, &span));
  EXPECT_STREQ(body, "");
  EXPECT_EQ(body[kReportBodySize], '#');
}

ReportLogFields LogFields(uint32_t status, const char* products, const char* response,
                          size_t response_length) {
  return ReportLogFields{status,  "1a2b48d1-e0f010ff", "koff",   "ic", "XX", "1.6.0_07-b06",
                         products, response,            response_length};
}

TEST(ReportLogText, SummaryLine) {
  const char kHead[] =
      "InstallStatus:ret=%s visid=1a2b48d1-e0f010ff method=koff state=ic ver=XX,1.6.0_07-b06";
  auto head = [&](const char* ret) {
    char line[256];
    std::snprintf(line, sizeof line, kHead, ret);
    return std::string(line);
  };
  const char response_with_nul[] = {'o', 'k', '\0', 'z', 'z'};
  const struct {
    ReportLogFields fields;
    std::string text;
  } cases[] = {
      {LogFields(500, ";krt|1603", "", 0), head("500") + " ICstatus=;krt|1603"},
      {LogFields(200, ";krt|-128", "<ok/>", 5), head("200") + " ICstatus=;krt|-128\n<ok/>"},
      {LogFields(200, "", "abc", 2), head("200") + "\nab"},  // only the bytes read
      {LogFields(200, ";krt|1", response_with_nul, 5), head("200") + " ICstatus=;krt|1\nok"},
      {LogFields(0, ";krt|-2", "", 0), head("0") + " ICstatus=;krt|-2"},
      // The answer stays one line of printable characters: no line of its own.
      {LogFields(200, "", "OK\r\n@echo x\t\x01\x7f\xff~ ", 16), head("200") + "\nOK  @echo x    ~"},
  };
  for (const auto& c : cases) {
    char log[kReportLogTextSize];
    EXPECT_TRUE(FormatReportLogText(c.fields, log, sizeof log));
    EXPECT_EQ(log, c.text);
  }
}

TEST(ReportLogText, LongStatusAndResponseAreCutAtTheBuffer) {
  std::string products = ";krt|1603" + std::string(246, 's');  // 255 characters
  std::string response(512, 'r');                                // no terminator in it
  char log[kReportLogTextSize + 8];
  std::memset(log, '#', sizeof log);
  EXPECT_FALSE(FormatReportLogText(LogFields(200, products.c_str(), response.data(), 512), log,
                                   kReportLogTextSize));
  EXPECT_EQ(std::strlen(log), kReportLogTextSize - 1);
  EXPECT_EQ(log[kReportLogTextSize], '#');
  const std::string text = log;
  EXPECT_NE(text.find(" ICstatus=" + products + "\nrrr"), std::string::npos);
  EXPECT_EQ(text.back(), 'r');
}

}  // namespace
}  // namespace kova
