// The language choices fed from the system: the user's default language and
// the thread's locale, both asked through the OS seam.
#include <windows.h>

#include "bootstrap/languages.h"
#include "bootstrap/process_state.h"
#include "platform/os_seam.h"

namespace kova {

static_assert(sizeof(ProcessState::language_tag) == kLanguageTagSize, "the tag buffer's size");

uint16_t GetDefaultTransformLanguage() {
  return TransformLanguageForUserLanguage(Os().GetUserDefaultLangID());
}

// Fills the process-wide language tag anew on every call and returns it.
const char* GetDescriptorLanguageTag() {
  char* tag = State().language_tag;
  LanguageTagForLocale(Os().GetThreadLocale(), tag, sizeof State().language_tag);
  return tag;
}

}  // namespace kova
