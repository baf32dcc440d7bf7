#include "reporting/trusted_endpoint.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kova {
namespace {

struct UrlCase {
  const char* url;
  int trusted;
};

const UrlCase kUrlCases[] = {
    // A vendor web-host prefix anywhere.
    {"http://www.kova.com/cgi/country", 1},
    {"http://kova.com/", 1},
    {"http://www.kovasoft.com/x?y", 1},
    {"ftp://a/?next=http://www.kova.com/", 1},
    {"http://evil.example/?u=http://www.kova.com/", 1},  // the text test alone is fooled
    {"HTTP://WWW.KOVA.COM/", 0},
    // The domain test up to the first "/" after the first ".".
    {"http://update.kova.com/update.xml", 1},
    {"https://update.kova.com/update.xml", 1},
    {"http://a.b.kovasoft.com/x", 1},
    {"http://geo.kovasoft.com/", 1},
    {"http://geo.Kovasoft.com/", 0},
    {"http://GEO.KOVASOFT.COM/", 0},
    {"http://geo.kovasoft.com", 0},          // no "/" after the "."
    {"http://geo.kovasoft.com?q=1", 0},
    {"http://kovasoft.com/", 0},             // the bare domain has no "." before it
    {"http://kovasoft.com:8080/", 0},
    {"http://kova.com:8080/", 0},
    {"http://x.kovasoft.comm/", 0},
    {"http://x.kovasoft.co/", 0},
    {"http://xkovasoft.com/", 0},
    {"http://x.kovasoft.com.evil.example/", 0},
    {"http://evil.example#.kovasoft.com/", 1},  // the text test alone is fooled
    {"http://www.kova.com@evil.example/", 0},
    {"http://evil.example@x.kova.com/", 1},     // credentials: refused by the host test
    // Ports: exactly four characters between ":" and "/".
    {"http://geo.kovasoft.com:8080/", 1},
    {"http://geo.kova.com:8080/x", 1},
    {"http://geo.kova.com:abcd/", 1},
    {"http://geo.kova.com:::::/", 1},
    {"http://geo.kova.com:80/", 0},
    {"http://geo.kova.com:443/", 0},
    {"http://geo.kova.com:44300/", 0},
    {"http://geo.kova.com:/", 0},
    // No ".", or a "/" too close to the start for any comparison.
    {"", 0},
    {"http://localhost/", 0},
    {".", 0},
    {"./", 0},
    {".kova.com/", 1},
    {"kova.com/", 0},
    {"a./", 0},
    {".:1234/", 0},
    {"http://a.b/c.kova.com/", 0},
};

TEST(TrustedEndpoint, TextTest) {
  for (const UrlCase& c : kUrlCases) {
    SCOPED_TRACE(c.url);
    // An exact-size copy so that ASan sees any read before or after the text.
    std::string copy(c.url);
    char* url = new char[copy.size() + 1];
    std::memcpy(url, copy.c_str(), copy.size() + 1);
    EXPECT_EQ(IsTrustedEndpoint(url), c.trusted);
    delete[] url;
  }
}

struct HostCase {
  const char* host;
  const char* user_name;
  const char* password;
  bool trusted;
};

const HostCase kHostCases[] = {
    {"www.kova.com", "", "", true},
    {"kova.com", "", "", true},  // a web host of a prefix, though the bare domain
    {"www.kovasoft.com", nullptr, nullptr, true},
    {"kovasoft.com", "", "", false},
    {"update.kova.com", "", "", true},
    {"a.b.kovasoft.com", "", "", true},
    {"metrics.kovasoft.com", "", "", true},
    {"evil.example", "", "", false},
    {"kova.com.evil.example", "", "", false},
    {"evilkova.com", "", "", false},
    {".kova.com", "", "", false},
    {"Update.Kova.com", "", "", false},
    {"WWW.KOVA.COM", "", "", false},
    {"www.kova.com.", "", "", false},
    {"evil.example#.kovasoft.com", "", "", false},
    {"evil.example\\.kovasoft.com", "", "", false},
    {"evil%2eexample.kova.com", "", "", false},
    {"x y.kova.com", "", "", false},
    {"", "", "", false},
    {nullptr, "", "", false},
    {"update.kova.com", "www.kova.com", "", false},
    {"update.kova.com", "", "secret", false},
    {"update.kova.com", "u", "p", false},
};

TEST(TrustedEndpoint, HostTest) {
  for (const HostCase& c : kHostCases) {
    SCOPED_TRACE(std::string(c.host ? c.host : "(none)") + " user " +
                 (c.user_name ? c.user_name : "(none)") + " password " +
                 (c.password ? c.password : "(none)"));
    EXPECT_EQ(IsTrustedHost(c.host, c.user_name, c.password), c.trusted);
  }
}

// The stored post-status value: the whole passes the text test, and the URL
// before any comma is http(s) with a trusted host and no user-info part.
const UrlCase kPostStatusCases[] = {
    {"http://stats.kova.com/b/ss", 1},
    {"https://metrics.kovasoft.com/b/ss,orvoinstallstatdev", 1},
    {"HTTPS://update.kova.com/b", 1},
    {"http://geo.kovasoft.com:8080/p?q", 1},
    {"http://stats.kovasoft.com?r=http://www.kova.com/", 1},
    {"http://stats.kova.com,x.kova.com/", 1},  // the URL proper ends at the comma
    {"http://geo.kovasoft.com", 0},            // the text test still applies
    {"http://evil.example/r?http://www.kova.com/", 0},
    {"http://evil.example\\.kova.com/r", 0},
    {"http://user@stats.kovasoft.com/post", 0},
    {"http://x.kova.com?u@evil.example/http://www.kova.com/", 0},
    {"http://stats.kova.com%2f.kova.com/", 0},  // not a plain host
};

TEST(TrustedEndpoint, PostStatusUrlTest) {
  for (const UrlCase& c : kPostStatusCases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(IsTrustedPostStatusUrl(c.url), c.trusted);
  }
}

}  // namespace
}  // namespace kova
