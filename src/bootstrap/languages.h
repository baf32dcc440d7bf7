// The language tables: which transform of the installer package suits a
// user language, and which descriptor language tag suits a locale. Pure
// lookups over fixed tables; the Win32 wrappers feed them the user's LANGID
// and the thread's locale.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova {

// One transform the package carries, found by the primary language number of
// the user's language (the first row's key, 2052, is a whole LANGID; see
// TransformLanguageForUserLanguage).
struct TransformRow {
  uint16_t key;  // a primary language number, or a whole LANGID (2052)
  uint16_t transform_language;
};

constexpr size_t kTransformTableRows = 10;
constexpr size_t kLocaleTagTableRows = 178;
constexpr size_t kLanguageTagSize = 64;  // bytes, terminator included

extern const TransformRow kTransformTable[kTransformTableRows];
// The locale rows: row i has the key kLocaleIds[i] (a primary language
// number, or a whole LCID) and the tag LocaleTag(i), kept as one run of
// NUL-separated tags so the exe holds no padding and no pointers.
extern const uint16_t kLocaleIds[kLocaleTagTableRows];
extern const char kLocaleTags[];
// Row i's tag; i below kLocaleTagTableRows.
const char* LocaleTag(size_t row);

// The transform for the user's default LANGID; 1033 when the package
// carries none for that language.
uint16_t TransformLanguageForUserLanguage(uint16_t user_langid);

// True when the package carries a transform named by this LANGID.
bool IsSupportedTransformLanguage(uint16_t langid);

// Writes the descriptor language tag for a locale into tag[cap] (cap is
// kLanguageTagSize in the product); "en" when the table has no row for it.
// Returns false only when the tag did not fit (it never does with 64 bytes).
bool LanguageTagForLocale(uint32_t lcid, char* tag, size_t cap);

}  // namespace kova
