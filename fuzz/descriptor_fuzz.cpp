// Fuzzes the descriptor interpretation over whatever a server could send.
//
// Input: byte 0 picks the user's language tag; the rest (at most 10239
// bytes, as one read delivers) is the response body. Checks: the flag is 0
// or 1; both URLs stay terminated within their 256 bytes; reporting on means
// a post-status URL other than "0" and empty; a body whose first node is not
// the descriptor root changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "descriptor/descriptor_interpretation.h"
#include "descriptor/markup_reader.h"

#include "fuzz_check.h"

namespace {

const char* const kTags[] = {"en", "de", "fr", "ja", "zh-TW", "pt-BR", "", "kova-update"};
const size_t kMaxBody = 10239;
const char kBefore[] = "before";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* tag = kTags[data[0] % (sizeof kTags / sizeof kTags[0])];
  std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (body.size() > kMaxBody) body.resize(kMaxBody);

  kova::ProcessState state;
  std::memcpy(state.post_status_url, kBefore, sizeof kBefore);
  std::memcpy(state.country_lookup_url, kBefore, sizeof kBefore);
  state.reporting = 0;
  kova::MarkupReader reader;
  kova::MarkupNode* tree = reader.Parse(body.c_str());
  kova::ApplyDescriptorTree(tree, tag, &state);

  CHECK(state.reporting == 0 || state.reporting == 1);
  CHECK(memchr(state.post_status_url, '\0', sizeof state.post_status_url) != nullptr);
  CHECK(memchr(state.country_lookup_url, '\0', sizeof state.country_lookup_url) != nullptr);
  if (state.reporting == 1) CHECK(std::strcmp(state.post_status_url, "0") != 0);
  const bool is_descriptor = tree != nullptr && tree->kind == kova::NodeElement &&
                             std::strcmp(tree->text, "kova-update") == 0;
  if (!is_descriptor) {
    CHECK(state.reporting == 0);
    CHECK(std::strcmp(state.post_status_url, kBefore) == 0);
    CHECK(std::strcmp(state.country_lookup_url, kBefore) == 0);
  }
  return 0;
}
