#include "reporting/trusted_endpoint.h"

#include <cstddef>

#include "reporting/vendor_endpoints.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

// The vendor domains in the order they are tried.
constexpr const char* kVendorDomains[] = {kPrimaryVendorDomain, kSecondVendorDomain};

constexpr size_t kPortLength = 4;  // characters between ":" and "/" that may stand for a port

// The host buffer of the post-status test: as large as the report's URL-part
// buffers, so a host the report's own splitting could not hold fails here too.
constexpr size_t kPostStatusHostSize = 256;

// True when the `length` bytes of url ending at index end (inclusive) are
// "." + domain + tail + "/", with any kPortLength characters standing in for
// tail when with_port is set. Never reads before url[0].
bool EndsWithDomainAt(const char* url, size_t end, const char* domain, bool with_port) {
  const size_t domain_length = TextLength(domain);
  const size_t length = 1 + domain_length + (with_port ? 1 + kPortLength : 0) + 1;
  if (end + 1 < length) return false;
  const char* p = url + end + 1 - length;
  if (*p++ != '.') return false;
  for (size_t i = 0; i < domain_length; ++i) {
    if (*p++ != domain[i]) return false;
  }
  if (with_port) {
    if (*p++ != ':') return false;
    p += kPortLength;
  }
  return *p == '/';
}

// The web host of a prefix: the text between "http://" and the closing "/".
bool IsWebHostOfPrefix(const char* host, const char* prefix) {
  static constexpr char kScheme[] = "http://";
  if (!TextStartsWith(prefix, kScheme)) return false;
  const char* name = prefix + sizeof kScheme - 1;
  size_t n = 0;
  while (name[n] != '\0' && name[n] != '/') ++n;
  size_t i = 0;
  for (; i < n; ++i) {
    if (host[i] != name[i]) return false;
  }
  return host[i] == '\0';
}

bool IsBelowDomain(const char* host, const char* domain) {
  const size_t host_length = TextLength(host);
  const size_t domain_length = TextLength(domain);
  if (host_length < domain_length + 2) return false;  // at least one character, ".", the domain
  const char* tail = host + host_length - domain_length;
  return tail[-1] == '.' && TextEquals(tail, domain);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '-' || c == '.';
}

// Where the URL proper of a post-status value ends: at its end, or at the
// comma before the suite id.
bool IsUrlEnd(char c) { return c == '\0' || c == ','; }

}  // namespace

bool IsTrustedEndpoint(const char* url) {
  for (const char* prefix : kVendorWebHostPrefixes) {
    if (TextContains(url, prefix)) return true;
  }
  // The first "/" behind the first ".", found in one pass.
  size_t slash = 0;
  bool after_dot = false;
  for (; url[slash] != '\0'; ++slash) {
    if (url[slash] == '.') after_dot = true;
    if (after_dot && url[slash] == '/') break;
  }
  if (url[slash] == '\0') return false;
  for (const char* domain : kVendorDomains) {
    // Without a port, then with one.
    for (int with_port = 0; with_port < 2; ++with_port) {
      if (EndsWithDomainAt(url, slash, domain, with_port != 0)) return true;
    }
  }
  return false;
}

bool IsTrustedHost(const char* host, const char* user_name, const char* password) {
  if (host == nullptr || host[0] == '\0') return false;
  if ((user_name != nullptr && user_name[0] != '\0') ||
      (password != nullptr && password[0] != '\0')) {
    return false;
  }
  for (const char* c = host; *c != '\0'; ++c) {
    if (!IsHostCharacter(*c)) return false;
  }
  for (const char* prefix : kVendorWebHostPrefixes) {
    if (IsWebHostOfPrefix(host, prefix)) return true;
  }
  for (const char* domain : kVendorDomains) {
    if (IsBelowDomain(host, domain)) return true;
  }
  return false;
}

bool IsTrustedPostStatusUrl(const char* post_status_url) {
  if (!IsTrustedEndpoint(post_status_url)) return false;
  const char* p = post_status_url;
  // "https://" or "http://", the letters in any case as the splitter takes
  // them: setting 0x20 makes a capital letter small and no other character
  // equal to a small letter. The "s" alone may be missing.
  for (const char* s = "https://"; *s != '\0'; ++s) {
    const char c = *s >= 'a' ? static_cast<char>(*p | 0x20) : *p;
    if (c == *s) {
      ++p;
    } else if (*s != 's') {
      return false;
    }
  }
  const char* host = p;
  while (IsHostCharacter(*p)) ++p;
  const size_t host_length = static_cast<size_t>(p - host);
  if (*p == ':') {
    ++p;
    while (IsDigit(*p)) ++p;
  }
  if (!IsUrlEnd(*p) && *p != '/' && *p != '?' && *p != '#') return false;
  // Splitters differ on whether "?", "#" or "\\" end the host; none reads a
  // user name or host past the first "/". Refusing "@" and "\\" before it
  // leaves every reading with the host found above and no user-info part.
  for (; !IsUrlEnd(*p) && *p != '/'; ++p) {
    if (*p == '@' || *p == '\\') return false;
  }
  char host_name[kPostStatusHostSize];
  return TextCopyN(host_name, sizeof host_name, host, host_length) &&
         IsTrustedHost(host_name, nullptr, nullptr);
}

}  // namespace kova
