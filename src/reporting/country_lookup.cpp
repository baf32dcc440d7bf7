#include "reporting/country_lookup.h"

#include "platform/wininet_library.h"
#include "reporting/http_exchange.h"
#include "reporting/network_values.h"
#include "reporting/trusted_endpoint.h"
#include "text/bounded_text.h"

namespace kova {

namespace {
constexpr DWORD kLookupPartSize = 256;   // bytes of each URL-part buffer
constexpr DWORD kHeaderBufferSize = 256;  // the object name, then the header
}  // namespace

void LookupCountry(const char* url, char* country, NetworkDialogs dialogs) {
  TextCopy(country, kCountryCodeSize, kUnknownCountry);
  // An empty URL is never a trusted one: no test of its own.
  if (!IsTrustedEndpoint(url)) return;

  HttpExchange exchange;
  // The request's object name first, then the header name and its value.
  char header[kHeaderBufferSize];
  if (!OpenHttpRequest(&exchange, url, "HEAD", kHttpRequestFlags, kLookupPartSize, header,
                       sizeof header, HostPolicy::kTrustedOnly)) {
    return;
  }
  DWORD status = 0;
  if (!SendWithAuthRetry(&exchange, nullptr, 0, &status, dialogs) || status != HTTP_STATUS_OK) {
    return;
  }

  DWORD size = sizeof header;
  TextCopy(header, sizeof header, "COUNTRY");
  // The value reaches the package through HKLM: only a country's form passes.
  if (WinInet().HttpQueryInfoA(exchange.request, HTTP_QUERY_CUSTOM, header, &size, nullptr) &&
      IsCountryCode(header)) {
    TextCopy(country, kCountryCodeSize, header);
  }
}

}  // namespace kova
