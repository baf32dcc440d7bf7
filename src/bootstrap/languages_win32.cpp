// The language choices fed from the system: the user's default language and
// the thread's locale, both asked through the OS seam.
#include <windows.h>

#include "bootstrap/languages_win32.h"
#include "platform/os_seam.h"
#include "product/process_state.h"

namespace kova {

static_assert(sizeof(ProcessState::language_tag) == kLanguageTagSize, "the tag buffer's size");

uint16_t GetDefaultTransformLanguage() {
  return TransformLanguageForUserLanguage(Os().GetUserDefaultLangID());
}

void GetDescriptorLanguageTag(char* tag, size_t cap) {
  LanguageTagForLocale(Os().GetThreadLocale(), tag, cap);
}

}  // namespace kova
