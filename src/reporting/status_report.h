// The install-status report: after a failed install, an XML document of
// analytics fields POSTed to the post-status URL from the update descriptor,
// and a summary of the exchange in the status log. The texts are made by pure
// functions here; PostInstallStatus (status_report_win32.cpp) gathers the
// facts, consumes the install status the package left, sends and logs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/client_facts.h"

namespace kova {

constexpr size_t kReportBodySize = 2048;
constexpr size_t kProductsTextSize = 256;
constexpr size_t kStatusTextSize = 512;  // the install status, the URL copy, the response
constexpr size_t kReportLogTextSize = 512;
constexpr size_t kReportSuiteIdSize = 20;
constexpr size_t kReportUrlPartSize = 256;
constexpr size_t kPreviousVersionSize = 32;
constexpr size_t kPreviousVersionMaxChars = 30;
constexpr size_t kPingTestSize = 20;
constexpr size_t kProp20Size = 20;  // the longest value, "plaintextdummy", and the token

constexpr char kProductionSuite[] = "orvoinstallstat";
constexpr char kDevelopmentSuite[] = "orvoinstallstatdev";
constexpr char kNoPreviousVersion[] = "XX";
constexpr char kReportState[] = "ic";

// The facts every report of the process carries, gathered on the first
// report whose URL passes the tests. Zero-filled at start: the visitor id
// buffer must be, since a stored id carries no terminator.
struct ReportFacts {
  char previous_version[kPreviousVersionSize];
  char visitor_id[kVisitorIdSize];
  char os_description[kOsFactTextSize];
  char architecture[kOsFactTextSize];
  bool ready;
};

// Appends value to buffer[cap] as XML character data: "&", "<", ">", the
// double and the single quote as their entities, everything else as it is.
// Cut at the buffer's end and terminated; false when cut.
bool AppendXmlText(char* buffer, size_t cap, const char* value);

// Appends "<name>value</name>" to buffer[cap], the value escaped as above,
// so that no value (a country header, a version text) can break the document.
// buffer must already hold a terminated text (the tags are formatted from it).
// Cut at the buffer's end and terminated; false when cut.
bool AppendElement(char* buffer, size_t cap, const char* name, const char* value);

// Splits the post-status URL at its first comma: *url_length is the length
// of the URL proper; the report suite id is everything after the comma
// (further commas included; empty after a trailing comma), or the production
// suite when there is no comma. A suite id longer than cap - 1 is cut.
void SplitPostStatusUrl(const char* post_status_url, size_t* url_length, char* suite_id,
                        size_t cap);
// Exactly "orvoinstallstatdev" (case-sensitive).
bool IsDevelopmentSuite(const char* suite_id);

// The prop20 value for the whole post-status URL: the production token for
// an https URL that starts with the production metrics prefix,
// "qaplaceholder" for any other URL holding "https://", else "plaintextdummy".
// Returns whether the URL holds "https://".
bool Prop20Value(const char* post_status_url, char* value, size_t cap);

// ";krt|<code>", followed by the install status unless that is empty or
// "exists". "exists" with 1602 or 1603 reports -128. Cut to fit; false when cut.
bool FormatProductsText(const char* install_status, int32_t exit_code, char* products,
                        size_t cap);

struct ReportBodyFields {
  const char* suite_id;
  const char* visitor_id;
  bool with_prop21;
  const char* prop20;
  const char* report_state;
  const char* build;
  const char* previous_version;
  const char* architecture;
  const char* os_description;
  const char* install_method;
  const char* country;
  const char* products;
};

// Where the prop20 value lies in a built body, for masking it.
struct BodySpan {
  size_t at;
  size_t length;
};

// The request body: the XML declaration and <request>, the elements in their
// fixed order, </request>; no line breaks. False when it did not fit (the
// body is then cut and terminated). *prop20 locates the prop20 value.
bool BuildReportBody(const ReportBodyFields& fields, char* body, size_t cap, BodySpan* prop20);

// Replaces every character of the span with "X". The span comes from
// BuildReportBody, not from a search, so a value elsewhere in the body that
// happens to hold "<prop20>" cannot move the mask.
void MaskSpan(char* body, size_t cap, const BodySpan& span);

struct ReportLogFields {
  uint32_t http_status;  // 0 when it could not be read
  const char* visitor_id;
  const char* install_method;
  const char* report_state;
  const char* previous_version;
  const char* build;
  const char* products;
  const char* response;  // response bytes, not terminated; stops early at a NUL
  size_t response_length;
};

// "InstallStatus:ret=... visid=... method=... state=... ver=<previous>,<build>",
// then " ICstatus=<products>" when products is not empty, then a newline
// and the response bytes when there are any, as one line of printable
// characters (see MakePrintableLine). Cut at the buffer's end and
// terminated; false when cut.
bool FormatReportLogText(const ReportLogFields& fields, char* log, size_t cap);

}  // namespace kova
