#include "descriptor/descriptor_interpretation.h"

#include "text/bounded_text.h"

namespace kova {

namespace {

const char kRootName[] = "kova-update";
const char kBlockName[] = "information";
const char kUsableVersion[] = "1.0";
const char kFallbackLanguage[] = "en";
const char kReportingOff[] = "0";

// The value of the block's setting element of that name: the text of its
// first child node, or none when the element is missing or empty. A first
// child that is an element gives its name, as the reader stores it in the
// same field; an untrusted value goes no further than the package (the
// endpoints check every URL). One function for both settings, so that the
// lookup is compiled once.
const char* SettingText(MarkupNode* block, const char* name) {
  const MarkupNode* element = FindChildElement(block->firstChild, name);
  if (element == nullptr || element->firstChild == nullptr) return nullptr;
  return element->firstChild->text;
}

}  // namespace

void ApplyDescriptorTree(MarkupNode* first_node, const char* language_tag, ProcessState* state) {
  if (first_node == nullptr || first_node->kind != NodeElement ||
      !TextEquals(first_node->text, kRootName)) {
    return;
  }
  for (MarkupNode* block = first_node->firstChild; block != nullptr; block = block->nextSibling) {
    if (block->kind != NodeElement || !TextEquals(block->text, kBlockName)) continue;
    const char* version = GetAttribute(block->attributes, "version");
    const char* language = GetAttribute(block->attributes, "xml:lang");
    if (version == nullptr || !TextEquals(version, kUsableVersion)) continue;
    if (language == nullptr) continue;
    const bool own_language = TextEquals(language, language_tag);
    if (!own_language && !TextEquals(language, kFallbackLanguage)) continue;

    const char* post_status = SettingText(block, "post-status");
    state->reporting = 0;
    if (post_status != nullptr && !TextEquals(post_status, kReportingOff)) {
      // Longer texts keep their first 255 bytes.
      TextCopyCut(state->post_status_url, sizeof state->post_status_url, post_status);
      state->reporting = 1;
    }
    // Looked up only now (lookups change nothing): found first, the code above
    // was compiled twice, once for each outcome.
    const char* country_lookup = SettingText(block, "cntry-lookup");
    if (country_lookup != nullptr) {
      TextCopyCut(state->country_lookup_url, sizeof state->country_lookup_url, country_lookup);
    }
    if (own_language) break;
  }
}

}  // namespace kova
