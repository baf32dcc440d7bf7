#include "reporting/status_report.h"

#include "reporting/network_values.h"
#include "reporting/vendor_endpoints.h"
#include "text/bounded_text.h"
#include "text/xml_entities.h"

namespace kova {

namespace {

constexpr char kBodyStart[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <request> ";
constexpr char kBodyEnd[] = "</request>";
// The body's element names in their order, each ended by a NUL.
constexpr char kElementNames[] =
    "sc_xml_ver\0reportsuiteid\0visitorid\0prop21\0prop20\0pagename\0evar2\0evar3\0evar4\0"
    "evar5\0evar6\0evar7\0evar8\0events\0products";
constexpr size_t kProp21Element = 3;
constexpr size_t kProp20Element = 4;

}  // namespace

bool AppendXmlText(char* buffer, size_t cap, const char* value) {
  bool fit = true;
  for (const char* p = value; *p != '\0' && fit; ++p) {
    // The character itself, or all of its entity: one append for either.
    const char* piece = p;
    size_t length = 1;
    for (const char* row = kXmlEntities; *row != '\0'; row += TextLength(row) + 1) {
      if (*row == *p) {
        piece = row + 1;
        length = static_cast<size_t>(-1);
        break;
      }
    }
    fit = TextAppendN(buffer, cap, piece, length);
  }
  return fit;
}

bool AppendElement(char* buffer, size_t cap, const char* name, const char* value) {
  // Each tag appended by one format call that starts from the buffer's own text.
  return TextFormat(buffer, cap, "%s<%s>", buffer, name) && AppendXmlText(buffer, cap, value) &&
         TextFormat(buffer, cap, "%s</%s>", buffer, name);
}

void SplitPostStatusUrl(const char* post_status_url, size_t* url_length, char* suite_id,
                        size_t cap) {
  size_t comma = 0;
  while (post_status_url[comma] != '\0' && post_status_url[comma] != ',') ++comma;
  *url_length = comma;
  if (post_status_url[comma] == ',') {
    // A suite id too long for its buffer is cut there, never written past it.
    TextCopyCut(suite_id, cap, post_status_url + comma + 1);
  } else {
    TextCopy(suite_id, cap, kProductionSuite);
  }
}

bool IsDevelopmentSuite(const char* suite_id) { return TextEquals(suite_id, kDevelopmentSuite); }

bool Prop20Value(const char* post_status_url, char* value, size_t cap) {
  const bool https = TextContains(post_status_url, "https://");
  // One format call: the two placeholders hold no "%", so as formats they
  // are their own texts.
  const char* format = "plaintextdummy";
  if (https) format = TextStartsWith(post_status_url, kMetricsPrefix) ? "%x" : "qaplaceholder";
  TextFormat(value, cap, format, kMetricsToken);
  return https;
}

bool FormatProductsText(const char* install_status, int32_t exit_code, char* products,
                        size_t cap) {
  const bool exists = TextEquals(install_status, "exists");
  // The runtime is already there: the install did not fail as such.
  if (exists && (exit_code == 1603 || exit_code == 1602)) exit_code = -128;
  // The install status follows unless it is "exists" (an empty one adds
  // nothing); a long one is cut at the buffer's end.
  return TextFormatCut(products, cap, ";krt|%d%s", exit_code, exists ? "" : install_status);
}

bool BuildReportBody(const ReportBodyFields& f, char* body, size_t cap, BodySpan* prop20) {
  prop20->at = 0;
  prop20->length = 0;
  // The values in the order of kElementNames; prop21 only when asked for.
  const char* const values[] = {
      "1.0",               // sc_xml_ver
      f.suite_id,          // reportsuiteid
      f.visitor_id,        // visitorid
      f.visitor_id,        // prop21
      f.prop20,            // prop20
      f.report_state,      // pagename
      f.build,             // evar2
      f.previous_version,  // evar3
      "i586",              // evar4
      f.architecture,      // evar5
      f.os_description,    // evar6
      f.install_method,    // evar7
      f.country,           // evar8
      "event6,event7",     // events
      f.products,          // products
  };
  bool fit = TextCopy(body, cap, kBodyStart);
  const char* name = kElementNames;
  for (size_t i = 0; i < sizeof values / sizeof values[0]; ++i) {
    const size_t name_length = TextLength(name);
    if (i != kProp21Element || f.with_prop21) {
      // The prop20 value starts right after its opening tag and ends before
      // the closing one.
      const size_t before = TextLength(body) + name_length + 2;
      fit = fit && AppendElement(body, cap, name, values[i]);
      if (i == kProp20Element && fit) {
        prop20->at = before;
        prop20->length = TextLength(body) - (name_length + 3) - before;
      }
    }
    name += name_length + 1;
  }
  return fit && TextAppend(body, cap, kBodyEnd);
}

void MaskSpan(char* body, size_t cap, const BodySpan& span) {
  for (size_t i = span.at; i < span.at + span.length && i + 1 < cap && body[i] != '\0'; ++i) {
    body[i] = 'X';
  }
}

bool FormatReportLogText(const ReportLogFields& f, char* log, size_t cap) {
  // The products part and the line break are empty texts when they are left out.
  const bool with_products = f.products[0] != '\0';
  const bool fit =
      TextFormatCut(log, cap, "InstallStatus:ret=%d visid=%s method=%s state=%s ver=%s,%s%s%s%s",
                    static_cast<int32_t>(f.http_status), f.visitor_id, f.install_method,
                    f.report_state, f.previous_version, f.build, with_products ? " ICstatus=" : "",
                    f.products, f.response_length > 0 ? "\n" : "");
  // The response bytes carry no terminator: none of them, or all that fit,
  // made one line of printable characters (the line break before them is the
  // log's own).
  const size_t response_at = TextLength(log);
  const bool whole = TextAppendNCut(log, cap, f.response, f.response_length);
  MakePrintableLine(log + response_at, TextLength(log + response_at));
  return whole && fit;
}

}  // namespace kova
