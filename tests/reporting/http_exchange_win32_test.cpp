// The HTTP exchange through real WinINet to the vendor services simulator.
#include "reporting/http_exchange.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "reporting/network_test_support.h"

namespace kova {
namespace test {
namespace {

using Strings = std::vector<std::string>;
const Strings kFullRelease = {"request", "connection", "internet"};
const Strings kInternetOnly = {"internet"};

// Header lines WinINet writes by itself; anything else would be ours.
void ExpectOnlyWinInetHeaders(const SeenRequest& seen) {
  const std::set<std::string> own = {"Host", "User-Agent", "Content-Length", "Cache-Control",
                                     "Pragma", "Connection", "Proxy-Connection"};
  for (const std::string& line : seen.header_lines) {
    EXPECT_EQ(own.count(line.substr(0, line.find(':'))), 1u) << line;
  }
}

class HttpExchangeTest : public NetworkTest {};

TEST_F(HttpExchangeTest, PostSendsItsBodyAndNoHeaderText) {
  Simulator::Script({Answer(200).For("POST").WithBody("thanks")});
  const std::string body = "<report><evar7>koff</evar7></report>";
  ExchangeOutcome o = Post("http://metrics.kovasoft.com:8080/b/ss/report?AQB=1&ndh=1", body);
  EXPECT_TRUE(o.opened);
  EXPECT_TRUE(o.reached);
  EXPECT_EQ(o.status, 200u);
  auto seen = Simulator::Requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].request_line,
            "POST http://metrics.kovasoft.com:8080/b/ss/report?AQB=1&ndh=1 HTTP/1.1");
  EXPECT_EQ(seen[0].Header("User-Agent"), "kupdate");
  EXPECT_EQ(seen[0].Header("Host"), "metrics.kovasoft.com:8080");
  EXPECT_EQ(seen[0].Header("Content-Length"), std::to_string(body.size()));
  EXPECT_EQ(seen[0].Header("Content-Type"), "(none)");
  EXPECT_EQ(seen[0].Header("Referer"), "(none)");
  EXPECT_EQ(seen[0].body, body);
  ExpectOnlyWinInetHeaders(seen[0]);
  EXPECT_TRUE(dialogs.empty());
  EXPECT_EQ(released, kFullRelease);
}

TEST_F(HttpExchangeTest, RequestTargets) {
  const struct {
    const char* url;
    const char* request_line;
  } cases[] = {
      {"http://m.kovasoft.com/", "POST http://m.kovasoft.com:80/ HTTP/1.1"},
      {"http://m.kovasoft.com", "POST http://m.kovasoft.com:80/ HTTP/1.1"},
      {"http://m.kovasoft.com?q=1", "POST http://m.kovasoft.com:80/?q=1 HTTP/1.1"},
      {"http://m.kovasoft.com/a/b?q=1&r=%20", "POST http://m.kovasoft.com:80/a/b?q=1&r=%20 HTTP/1.1"},
      {"http://m.kovasoft.com:8080/p", "POST http://m.kovasoft.com:8080/p HTTP/1.1"},
      {"http://kova.com/p", "POST http://kova.com:80/p HTTP/1.1"},
      {"http://www.kovasoft.com/p", "POST http://www.kovasoft.com:80/p HTTP/1.1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    Simulator::Script({Answer(200)});
    ExchangeOutcome o = Post(c.url, "x");
    EXPECT_TRUE(o.reached);
    auto seen = Simulator::Requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].request_line, c.request_line);
  }
}

// Every refusal happens before a connection is made: only the internet
// handle was open, and nothing reaches the simulator.
TEST_F(HttpExchangeTest, RefusedUrlsEndBeforeConnecting) {
  const std::string path254 = "/" + std::string(253, 'p');
  const struct {
    const char* name;
    std::string url;
    bool opens;
  } cases[] = {
      {"not a URL", "not a url", false},
      {"no host", "http:///x", false},
      {"host longer than its buffer", "http://" + std::string(250, 'h') + ".kova.com/", false},
      {"credentials", "http://u:p@x.kova.com/", false},
      {"user name before another host", "http://www.kova.com@evil.example/", false},
      {"vendor text in the fragment", "http://evil.example#.kovasoft.com/", false},
      {"vendor prefix in the query", "http://evil.example/?u=http://www.kova.com/", false},
      {"backslash in the host", "http://evil.example\\.kovasoft.com/", false},
      {"bare primary domain", "http://kovasoft.com/", false},
      {"path just fits", "http://x.kova.com" + path254 + "?", true},
      {"path and query too long", "http://x.kova.com" + path254 + "?ab", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    released.clear();
    HttpExchange exchange;
    char request_path[256];
    bool opened = OpenHttpRequest(&exchange, c.url.c_str(), "HEAD", kHttpRequestFlags, 256,
                                  request_path, sizeof request_path, HostPolicy::kTrustedOnly);
    EXPECT_EQ(opened, c.opens);
    if (!opened) {
      EXPECT_EQ(exchange.internet, nullptr);
      EXPECT_EQ(exchange.connection, nullptr);
      EXPECT_EQ(exchange.request, nullptr);
      EXPECT_EQ(released, kInternetOnly);
    }
    exchange.Close();
  }
  EXPECT_TRUE(Simulator::Requests().empty());
}

constexpr DWORD kAnyError = 0xFFFFFFFF;

struct SendCase {
  const char* name;
  std::vector<Reply> replies;
  std::vector<DWORD> answers;  // the user's, per dialog
  bool reached;
  DWORD status;
  std::vector<DWORD> dialog_errors;  // kAnyError: whatever the send left
  size_t requests;
  NetworkDialogs mode = NetworkDialogs::kAllowed;
};

TEST_F(HttpExchangeTest, SendLoop) {
  const Reply ok = Answer(200).WithBody("done");
  const DWORD kRetry = ERROR_INTERNET_FORCE_RETRY;
  const SendCase cases[] = {
      {"200", {ok}, {}, true, 200, {}, 1},
      {"404", {Answer(404)}, {}, true, 404, {}, 1},
      {"500", {Answer(500)}, {}, true, 500, {}, 1},
      {"unreadable status", {Raw("HTTP/1.1 abc OK\r\nContent-Length: 0\r\n\r\n")}, {}, true, 0,
       {}, 1},
      {"407, the user retries, then 200", {ProxyChallenge().Once(), ok}, {kRetry}, true, 200,
       {kAnyError}, 2},
      {"407 each time, the user retries twice, then gives up", {ProxyChallenge()},
       {kRetry, kRetry, 0}, true, 407, {kAnyError, kAnyError, kAnyError}, 3},
      {"407, the user gives up", {ProxyChallenge()}, {0}, true, 407, {kAnyError}, 1},
      // An aborted connection (how Wine reports a time-out too) ends quietly.
      {"reset", {Reset()}, {kRetry}, false, 0, {}, 1},
      // A redirect is an answer like any other: nothing goes to its target.
      {"307 to another host", {Answer(307).WithHeader("Location", "http://evil.example/r"), ok},
       {}, true, 307, {}, 1},
      // A silent install asks nobody: the proxy's 407 is the status.
      {"407, silent", {ProxyChallenge(), ok}, {kRetry}, true, 407, {}, 1, NetworkDialogs::kNever},
  };
  for (const SendCase& c : cases) {
    SCOPED_TRACE(c.name);
    Simulator::Script(c.replies);
    AnswerDialogs(c.answers);
    dialogs.clear();
    released.clear();
    const std::string body = "status=failed&code=1603";
    ExchangeOutcome o = Post("http://metrics.kovasoft.com/report", body, c.mode);
    ASSERT_TRUE(o.opened);
    EXPECT_EQ(o.reached, c.reached);
    if (o.reached) {
      EXPECT_EQ(o.status, c.status);
    }
    ASSERT_EQ(dialogs.size(), c.dialog_errors.size());
    for (size_t i = 0; i < dialogs.size(); ++i) {
      if (c.dialog_errors[i] != kAnyError) {
        EXPECT_EQ(dialogs[i].error, c.dialog_errors[i]) << "dialog " << i;
      }
      EXPECT_EQ(dialogs[i].owner, GetDesktopWindow());
      EXPECT_NE(dialogs[i].request, nullptr);
      EXPECT_EQ(dialogs[i].flags, 7u);
      EXPECT_FALSE(dialogs[i].data_given);
    }
    auto seen = Simulator::Requests();
    ASSERT_EQ(seen.size(), c.requests);
    for (const SeenRequest& s : seen) EXPECT_EQ(s.body, body);  // sent again whole
    EXPECT_EQ(released, kFullRelease);
  }
}

TEST_F(HttpExchangeTest, SilentNetworkErrorsShowNoDialog) {
  const struct {
    const char* name;
    std::string proxy;
    DWORD error;
  } cases[] = {
      {"connection refused", "127.0.0.1:1", ERROR_INTERNET_CANNOT_CONNECT},
      {"name not resolved", "proxy.invalid:8080", ERROR_INTERNET_NAME_NOT_RESOLVED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedProxy proxy(c.proxy);
    {  // The platform's own report of this failure, so the case is what it claims.
      HttpExchange exchange;
      char request_path[256];
      ASSERT_TRUE(OpenHttpRequest(&exchange, "http://x.kova.com/", "HEAD", kHttpRequestFlags,
                                  256, request_path, sizeof request_path,
                                  HostPolicy::kTrustedOnly));
      EXPECT_FALSE(HttpSendRequestA(exchange.request, nullptr, 0, nullptr, 0));
      EXPECT_EQ(GetLastError(), c.error);
    }
    AnswerDialogs({ERROR_INTERNET_FORCE_RETRY});
    dialogs.clear();
    released.clear();
    ExchangeOutcome o = Post("http://metrics.kovasoft.com/report", "x");
    EXPECT_TRUE(o.opened);
    EXPECT_FALSE(o.reached);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(released, kFullRelease);
  }
  EXPECT_TRUE(Simulator::Requests().empty());
}

TEST_F(HttpExchangeTest, HttpsUrlsAreRequestedOverTls) {
  // Answered with an error: Wine cannot carry TLS through a proxy tunnel.
  Simulator::Script({Answer(502).For("CONNECT")});
  ExchangeOutcome o = Post("https://metrics.kovasoft.com/report", "x");
  EXPECT_TRUE(o.opened);
  auto seen = Simulator::Requests();
  ASSERT_GE(seen.size(), 1u);
  EXPECT_EQ(seen[0].request_line, "CONNECT metrics.kovasoft.com:443 HTTP/1.1");
  for (const SeenRequest& s : seen) EXPECT_EQ(s.Method(), "CONNECT");
}

}  // namespace
}  // namespace test
}  // namespace kova
