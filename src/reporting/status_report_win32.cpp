// PostInstallStatus: gathers the report facts once per process, consumes the
// install status the package left, POSTs the report and logs the exchange.
#include <windows.h>
#include <wininet.h>

#include "platform/wininet_library.h"
#include "reporting/http_exchange.h"
#include "reporting/status_log_win32.h"
#include "reporting/status_report_win32.h"
#include "reporting/trusted_endpoint.h"
#include "settings/client_facts_win32.h"
#include "settings/policy_key.h"
#include "settings/vendor_key.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

void GatherReportFacts(ReportFacts* facts, char* scratch) {
  GetOsDescription(facts->os_description, facts->architecture);
  GetVisitorId(facts->visitor_id, sizeof facts->visitor_id);
  // One copy for both: "XX" is far shorter than the limit.
  const char* previous = FindPreviousRuntimeVersion(scratch) ? scratch : kNoPreviousVersion;
  TextCopyN(facts->previous_version, sizeof facts->previous_version, previous,
            kPreviousVersionMaxChars);
  facts->ready = true;
}

}  // namespace

ReportFacts& ProcessReportFacts() {
  static ReportFacts facts{};
  return facts;
}

void PostInstallStatus(const char* post_status_url, const char* install_method,
                       const char* report_state, const char* country, const char* build,
                       int32_t exit_code, NetworkDialogs dialogs) {
  // The test the value passed before it was stored for the package; an
  // empty URL is never a trusted one: no test of its own.
  if (!IsTrustedPostStatusUrl(post_status_url)) return;

  // Scratch for the previous runtime version; later the log line.
  char log_text[kReportLogTextSize];
  ReportFacts& facts = ProcessReportFacts();
  if (!facts.ready) GatherReportFacts(&facts, log_text);

  size_t url_length = 0;
  char suite_id[kReportSuiteIdSize];
  SplitPostStatusUrl(post_status_url, &url_length, suite_id, sizeof suite_id);
  const bool development = IsDevelopmentSuite(suite_id);

  // ReadVendorValue leaves either a text or an empty buffer: no zero-fill needed.
  char ping_test[kPingTestSize];
  const bool with_prop21 = ReadVendorValue("PingTest", ping_test, sizeof ping_test) || development;
  char prop20[kProp20Size];
  // The URL is searched for "https://" once, for prop20 and the request flags.
  const bool https = Prop20Value(post_status_url, prop20, sizeof prop20);

  // The install status the package left is read once and deleted at once.
  char status_text[kStatusTextSize];
  ReadVendorValue("InstallStatus", status_text, sizeof status_text);
  UpdateInstallStatus();
  // The main sequence runs the engine again; this report is not due.
  if (TextEquals(status_text, "reinstall")) return;
  SetPolicyString("VisitorId", nullptr);
  SetPolicyString("Method", nullptr);
  if (TextEquals(status_text, "decline")) return;

  char products[kProductsTextSize];
  FormatProductsText(status_text, exit_code, products, sizeof products);

  const ReportBodyFields fields{suite_id,       facts.visitor_id,       with_prop21,
                                prop20,         report_state,           build,
                                facts.previous_version, facts.architecture, facts.os_description,
                                install_method, country,                products};
  char body[kReportBodySize];
  BodySpan prop20_span{};
  // Every field is bounded, so with the product's own texts the body always
  // fits; a cut document is never sent.
  if (!BuildReportBody(fields, body, sizeof body, &prop20_span)) return;

  // The URL proper, the request path and the response share one buffer size.
  char url[kStatusTextSize];
  TextCopyN(url, sizeof url, post_status_url, url_length);
  char request_path[kStatusTextSize];
  DWORD flags = kHttpRequestFlags;
  if (https) flags |= INTERNET_FLAG_SECURE;
  HttpExchange exchange;
  if (!OpenHttpRequest(&exchange, url, "POST", flags, kReportUrlPartSize, request_path,
                       sizeof request_path, HostPolicy::kTrustedOnly)) {
    return;
  }
  DWORD status = 0;
  if (!SendWithAuthRetry(&exchange, body, static_cast<DWORD>(TextLength(body)), &status,
                         dialogs)) {
    return;  // never reached the server: nothing is logged
  }

  char response[kStatusTextSize];
  DWORD response_length = 0;
  if (status == HTTP_STATUS_OK) {
    if (!WinInet().InternetReadFile(exchange.request, response, sizeof response,
                                    &response_length)) {
      response_length = 0;
    }
  }

  const ReportLogFields log_fields{status,  facts.visitor_id,       install_method,
                                   report_state, facts.previous_version, build,
                                   products, response,             response_length};
  // A long install status or response is cut at the log text's end.
  FormatReportLogText(log_fields, log_text, sizeof log_text);
  AppendStatusLog(log_text);
  if (development) {
    // The body went out as it was; the log keeps no production token.
    MaskSpan(body, sizeof body, prop20_span);
    AppendStatusLog(body);
  }
  // The exchange's handles are released on the way out.
}

}  // namespace kova
