// Fuzzes both trust tests against models kept here in std::string.
//
// Input: byte 0 picks the test (even: the URL text test, and the post-status
// test that narrows it, over the rest; odd: the host test, the rest split at
// NUL into host, user name and password).
// Inputs are copied into exact-size buffers so ASan sees any stray read.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "reporting/trusted_endpoint.h"
#include "reporting/vendor_endpoints.h"

#include "fuzz_check.h"

namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

int TextModel(const std::string& url) {
  for (const char* prefix : kova::kVendorWebHostPrefixes) {
    if (url.find(prefix) != std::string::npos) return 1;
  }
  size_t dot = url.find('.');
  if (dot == std::string::npos) return 0;
  size_t slash = url.find('/', dot);
  if (slash == std::string::npos) return 0;
  const std::string head = url.substr(0, slash + 1);
  for (const std::string domain : {kova::kPrimaryVendorDomain, kova::kSecondVendorDomain}) {
    if (EndsWith(head, "." + domain + "/")) return 1;
    const size_t n = domain.size() + 7;  // "." domain ":" four "/"
    if (head.size() >= n && head.compare(head.size() - n, domain.size() + 2, "." + domain + ":") == 0) {
      return 1;
    }
  }
  return 0;
}

bool HostModel(const std::string& host, const std::string& user, const std::string& password) {
  if (host.empty() || !user.empty() || !password.empty()) return false;
  for (char c : host) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.')) return false;
  }
  if (host == "kova.com" || host == "www.kova.com" || host == "www.kovasoft.com") return true;
  for (const std::string domain : {kova::kPrimaryVendorDomain, kova::kSecondVendorDomain}) {
    if (host.size() > domain.size() + 1 && EndsWith(host, "." + domain)) return true;
  }
  return false;
}

std::vector<char> Exact(const std::string& s) {
  std::vector<char> v(s.begin(), s.end());
  v.push_back('\0');
  v.shrink_to_fit();
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if ((data[0] & 1) == 0) {
    const std::string url = rest.substr(0, rest.find('\0'));
    std::vector<char> text = Exact(url);
    CHECK(kova::IsTrustedEndpoint(text.data()) == TextModel(url));
    // The post-status test narrows the text test; under ASan, it reads nothing stray.
    CHECK(!kova::IsTrustedPostStatusUrl(text.data()) || kova::IsTrustedEndpoint(text.data()));
    return 0;
  }
  std::vector<std::string> parts(3);
  size_t start = 0;
  for (size_t i = 0; i < 3 && start <= rest.size(); ++i) {
    size_t end = rest.find('\0', start);
    if (end == std::string::npos) end = rest.size();
    parts[i] = rest.substr(start, end - start);
    start = end + 1;
  }
  std::vector<char> host = Exact(parts[0]);
  std::vector<char> user = Exact(parts[1]);
  std::vector<char> password = Exact(parts[2]);
  CHECK(kova::IsTrustedHost(host.data(), user.data(), password.data()) ==
        HostModel(parts[0], parts[1], parts[2]));
  return 0;
}
