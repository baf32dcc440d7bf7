// Fuzzes argument translation, finishing and command-line formatting.
//
// Input: byte 0 holds switches (bit 0 reporting, bit 1 a start language other
// than 1033); bytes 1 and 2 are the lengths of the msiexec and package paths
// (up to 259 each); the rest is split into arguments at NUL or line feed, at
// most 64 of them. Each stage is checked against a model of the rules kept
// here in std::string: whole pieces in order, only trailing ones left out and
// only for want of room, every text terminated within its buffer.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bootstrap/arguments.h"
#include "bootstrap/command_line.h"
#include "bootstrap/languages.h"
#include "text/bounded_text.h"

#include "fuzz_check.h"

namespace {

constexpr size_t kMaxArguments = 64;
constexpr size_t kMaxText = kova::kArgumentTextSize - 1;

struct Model {
  std::vector<std::string> pieces;  // what each passed-on argument contributes
  bool silent = false;
  uint16_t language = 0;
  bool language_known = true;  // false once a number out of strtoll's range was seen
};

Model Translate(const std::vector<std::string>& args, uint16_t start_language) {
  Model m;
  m.language = start_language;
  for (const std::string& a : args) {
    if (a.find("/lang=") != std::string::npos) {
      const char* number = a.c_str() + a.find('=') + 1;
      errno = 0;
      long long v = std::strtoll(number, nullptr, 10);
      if (errno == ERANGE) {
        m.language_known = false;
        continue;
      }
      uint16_t candidate = static_cast<uint16_t>(static_cast<unsigned long long>(v) & 0xFFFFu);
      if (kova::IsSupportedTransformLanguage(candidate)) m.language = candidate;
    } else if (a.compare(0, 3, "/v\"") == 0) {
      m.pieces.push_back(" " + (a.size() >= 4 ? a.substr(3, a.size() - 4) : std::string()) + " ");
    } else if (a.compare(0, 2, "/v") == 0) {
      m.pieces.push_back(" " + a.substr(2) + " ");
    } else if (a == "/s") {
      m.silent = 1;
    } else {
      m.pieces.push_back(a + " ");
    }
  }
  return m;
}

std::string Join(const std::vector<std::string>& pieces, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out += pieces[i];
  return out;
}

// The text of the first `kept` pieces followed by the finishing pieces.
std::string Layout(const Model& m, size_t kept, int reporting) {
  std::string passed = Join(m.pieces, kept);
  bool quiet = m.silent && passed.find("/qn") == std::string::npos;
  return passed + (quiet ? " /qn" : "") + (reporting ? " METHOD=koff " : "");
}

// Checks that text is laid out from some leading run of at most `available`
// pieces, and that no longer run would have fitted in max_length.
void CheckLayout(const std::string& text, const Model& m, size_t available, int reporting,
                 size_t max_length) {
  CHECK(text.size() <= max_length);
  size_t kept = available + 1;
  for (size_t k = 0; k <= available; ++k) {
    if (text == Layout(m, k, reporting)) kept = k;
  }
  CHECK(kept <= available);
  if (kept < available) CHECK(Layout(m, kept + 1, reporting).size() > max_length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  int reporting = data[0] & 1;
  uint16_t start_language = (data[0] & 2) ? 1041 : 1033;
  std::string msiexec = "C:\\" + std::string(data[1] % 257, 'm');
  std::string package = "C:\\" + std::string(data[2] % 257, 'p');

  std::vector<std::string> args;
  std::string current;
  for (size_t i = 3; i < size && args.size() < kMaxArguments; ++i) {
    char c = static_cast<char>(data[i]);
    if (c == '\0' || c == '\n') {
      args.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (args.size() < kMaxArguments && !current.empty()) args.push_back(current);

  std::vector<const char*> argv{"krt.exe"};
  for (const std::string& a : args) argv.push_back(a.c_str());

  Model m = Translate(args, start_language);
  kova::ArgumentText text{};
  bool silent = false;
  uint16_t language = start_language;
  bool whole = kova::TranslateArguments(static_cast<int>(argv.size()), argv.data(), &text, &silent,
                                        &language);
  CHECK(kova::TextLengthN(text.text, sizeof text.text) < sizeof text.text);
  CHECK(silent == m.silent);
  if (m.language_known) CHECK(language == m.language);
  CHECK(text.piece_count <= m.pieces.size());
  CHECK(whole == (text.piece_count == m.pieces.size()));
  CHECK(std::string(text.text) == Join(m.pieces, text.piece_count));
  if (!whole) CHECK(Join(m.pieces, text.piece_count + 1).size() > kMaxText);

  size_t translated = text.piece_count;
  kova::FinishArgumentText(&text, silent, reporting, "koff");
  CHECK(kova::TextLengthN(text.text, sizeof text.text) < sizeof text.text);
  CHECK(std::string(text.text) == Layout(m, text.piece_count, reporting));
  CheckLayout(text.text, m, translated, reporting, kMaxText);

  char line[kova::kCommandLineSize];
  std::memset(line, 0x55, sizeof line);
  bool formatted = kova::FormatCommandLine(line, sizeof line, msiexec.c_str(), package.c_str(),
                                           language, text);
  CHECK(formatted);  // paths of at most 259 characters always fit
  CHECK(kova::TextLengthN(line, sizeof line) < sizeof line);
  std::string lead = "\"" + msiexec + "\" /i \"" + package + "\" ";
  if (language != kova::kBaseTransformLanguage) {
    lead += "TRANSFORMS=:" + std::to_string(language) + " ";
  }
  std::string full(line);
  CHECK(full.compare(0, lead.size(), lead) == 0);
  CheckLayout(full.substr(lead.size()), m, text.piece_count, reporting, kMaxText - lead.size());
  return 0;
}
