#include "descriptor/descriptor_fetch.h"

#include <windows.h>
#include <wininet.h>

#include "descriptor/descriptor_interpretation.h"
#include "platform/wininet_library.h"
#include "reporting/http_exchange.h"
#include "reporting/trusted_endpoint.h"
#include "reporting/vendor_endpoints.h"
#include "settings/vendor_key.h"
#include "text/bounded_text.h"

namespace kova {

namespace {
constexpr DWORD kRequestTargetSize = 4096;  // URL path plus query or fragment

// The reader's blocks come from LocalAlloc, which the exe imports anyway, so
// it needs no C runtime allocator.
void* AllocateLocal(size_t bytes) { return LocalAlloc(LMEM_FIXED, bytes); }
void ReleaseLocal(void* block) { LocalFree(block); }
}  // namespace

void ApplyUpdateDescriptor(const char* text, ProcessState* state) {
  // The values are copied out of the tree, which goes with the reader.
  MarkupReader reader(MarkupAllocator{AllocateLocal, ReleaseLocal});
  ApplyDescriptorTree(reader.Parse(text), state->language_tag, state);
}

bool FetchUpdateDescriptor(ProcessState* state) {
  state->country_lookup_url[0] = '\0';
  state->post_status_url[0] = '\0';

  char url[kDescriptorUrlSize];
  if (!ReadVendorValue("InstallerXmlURL", url, sizeof url)) {
    TextCopy(url, sizeof url, kDefaultDescriptorUrl);
  }

  HttpExchange exchange;
  char request_target[kRequestTargetSize];
  if (!OpenHttpRequest(&exchange, url, "GET", kHttpRequestFlags, kMaxUrlPartSize, request_target,
                       sizeof request_target, HostPolicy::kAnyHost)) {
    return false;
  }
  // One send: no error dialog and no proxy-credentials retry here.
  if (!Send(exchange.request, nullptr, 0)) return false;
  if (QueryHttpStatus(exchange.request) != HTTP_STATUS_OK) return false;

  // One read; a longer body is cut, its last kept byte giving way to the NUL.
  char body[kDescriptorResponseSize];
  DWORD received = 0;
  if (WinInet().InternetReadFile(exchange.request, body, sizeof body, &received) && received > 0) {
    body[received < sizeof body ? received : sizeof body - 1] = '\0';
    ApplyUpdateDescriptor(body, state);
    // A post-status URL the trust check refuses is dropped before it can
    // reach the package through HKLM: reporting stays as the descriptor set
    // it, with nowhere to report to. The report itself applies the same test.
    if (!IsTrustedPostStatusUrl(state->post_status_url)) state->post_status_url[0] = '\0';
  }
  return true;
}

}  // namespace kova
