#include "bootstrap/arguments.h"

#include "bootstrap/languages.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

constexpr size_t kMaxTextLength = kArgumentTextSize - 1;
constexpr size_t kNotFound = static_cast<size_t>(-1);
const char kQuietPiece[] = " /qn";  // the piece; the switch itself follows its blank
constexpr size_t kQuietPieceLength = sizeof kQuietPiece - 1;

// Length of the first `pieces` passed-on pieces.
size_t PassedLength(const ArgumentText& args, size_t pieces) {
  return args.piece_end[pieces];
}

// Offset just past the first "/qn" among the passed-on pieces, or kNotFound,
// which lies beyond every length.
size_t FindQuietSwitch(const ArgumentText& args) {
  size_t passed = PassedLength(args, args.piece_count);
  for (size_t i = 0; i + 3 <= passed; ++i) {
    if (TextStartsWith(args.text + i, kQuietPiece + 1)) return i + 3;
  }
  return kNotFound;
}

// Which pieces make up a text of at most max_length characters.
struct Layout {
  size_t passed_pieces;  // the leading passed-on pieces kept
  bool quiet_piece;      // " /qn" after them
  bool method_piece;     // the METHOD piece last
  bool complete;         // nothing was left out
};

Layout PlanLayout(const ArgumentText& args, size_t method_length, size_t max_length) {
  const size_t quiet_end = FindQuietSwitch(args);
  for (size_t keep = args.piece_count + 1; keep-- > 0;) {
    size_t passed = PassedLength(args, keep);
    // " /qn" is needed unless a kept passed-on piece already carries "/qn".
    bool quiet = args.quiet && quiet_end > passed;
    size_t total = passed + (quiet ? kQuietPieceLength : 0) + method_length;
    if (total <= max_length) {
      return Layout{keep, quiet, method_length != 0, keep == args.piece_count};
    }
  }
  // Not even the finishing pieces fit beside no passed-on piece: keep those
  // that fit, in their order.
  bool quiet = args.quiet && kQuietPieceLength <= max_length;
  size_t used = quiet ? kQuietPieceLength : 0;
  bool method = method_length != 0 && used + method_length <= max_length;
  return Layout{0, quiet, method, false};
}

// Appends lead, the first body_length characters of body, and a blank as one
// piece when the whole piece fits; otherwise leaves it out, and every later one.
bool AppendPiece(ArgumentText* args, const char* lead, const char* body, size_t body_length) {
  if (args->full) return false;
  size_t length = TextLength(args->text);
  size_t piece = TextLength(lead) + TextLengthN(body, body_length) + 1;  // 1: the blank
  if (piece > kMaxTextLength - length || args->piece_count >= kArgumentTextSize) {
    args->full = true;
    return false;
  }
  TextAppend(args->text, sizeof args->text, lead);
  TextAppendN(args->text, sizeof args->text, body, body_length);
  TextAppend(args->text, sizeof args->text, " ");
  args->piece_end[++args->piece_count] = static_cast<uint16_t>(length + piece);
  return true;
}

// The number after the first '=' read as a C runtime's atoi reads it
// (leading white space, an optional sign, digits up to the first other
// character; 0 without digits). Overflow wraps, so the low 16 bits are those
// of the digits read modulo 2^32.
uint16_t ReadLanguageNumber(const char* arg) {
  const char* p = arg;
  while (*p != '\0' && *p != '=') ++p;
  if (*p == '=') ++p;
  while (IsSpaceChar(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  uint32_t value = 0;
  while (*p >= '0' && *p <= '9') value = value * 10u + static_cast<uint32_t>(*p++ - '0');
  if (negative) value = 0u - value;
  return static_cast<uint16_t>(value & 0xFFFFu);
}

}  // namespace

bool TranslateArguments(int argc, const char* const* argv, ArgumentText* args, bool* silent,
                        uint16_t* transform_language) {
  bool all_kept = true;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg == nullptr) continue;
    if (TextContains(arg, "/lang=")) {
      uint16_t candidate = ReadLanguageNumber(arg);
      if (IsSupportedTransformLanguage(candidate)) *transform_language = candidate;
    } else if (TextStartsWith(arg, "/v\"")) {
      // The closing quote is assumed: the last character goes, whatever it is.
      size_t length = TextLength(arg);
      size_t body = length >= 4 ? length - 4 : 0;
      all_kept &= AppendPiece(args, " ", arg + 3, body);
    } else if (TextStartsWith(arg, "/v")) {
      all_kept &= AppendPiece(args, " ", arg + 2, kNotFound);
    } else if (TextEquals(arg, "/s")) {
      *silent = true;
    } else {
      all_kept &= AppendPiece(args, "", arg, kNotFound);
    }
  }
  return all_kept;
}

bool FinishArgumentText(ArgumentText* args, bool silent, bool reporting, const char* method) {
  bool method_fits = true;
  char method_piece[kArgumentTextSize];
  method_piece[0] = '\0';
  // A piece too long to ever fit is left out whole.
  if (reporting &&
      !TextFormat(method_piece, sizeof method_piece, " METHOD=%s ", method != nullptr ? method : "")) {
    method_fits = false;
  }
  args->quiet = silent;
  Layout layout = PlanLayout(*args, TextLength(method_piece), kMaxTextLength);

  if (layout.passed_pieces < args->piece_count) args->full = true;
  args->piece_count = static_cast<uint16_t>(layout.passed_pieces);
  // Lay the finishing pieces out afresh behind the kept passed-on pieces.
  args->text[PassedLength(*args, args->piece_count)] = '\0';
  if (layout.quiet_piece) TextAppend(args->text, sizeof args->text, kQuietPiece);
  args->method_begin = static_cast<uint16_t>(TextLength(args->text));
  if (layout.method_piece) TextAppend(args->text, sizeof args->text, method_piece);
  args->finished = true;
  return method_fits && layout.complete;
}

bool ComposeArgumentText(const ArgumentText& args, size_t max_length, char* out, size_t cap) {
  if (cap == 0) return false;
  if (max_length > cap - 1) max_length = cap - 1;
  const char* method_piece = args.finished ? args.text + args.method_begin : "";
  Layout layout = PlanLayout(args, TextLength(method_piece), max_length);
  TextCopyN(out, cap, args.text, PassedLength(args, layout.passed_pieces));
  if (layout.quiet_piece) TextAppend(out, cap, kQuietPiece);
  if (layout.method_piece) TextAppend(out, cap, method_piece);
  return layout.complete;
}

}  // namespace kova
