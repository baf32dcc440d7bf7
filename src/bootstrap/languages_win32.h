// The language choices fed from the system (languages_win32.cpp): the
// user's default language and the thread's locale, through the OS seam.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bootstrap/languages.h"

namespace kova {

uint16_t GetDefaultTransformLanguage();
// The tag for the thread's locale into tag[cap].
void GetDescriptorLanguageTag(char* tag, size_t cap);

}  // namespace kova
