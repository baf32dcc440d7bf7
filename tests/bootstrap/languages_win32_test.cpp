// The language wrappers fed through the OS seam: the user's default LANGID
// picks the transform, the thread's locale picks the descriptor tag.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "bootstrap/languages_win32.h"
#include "platform/os_seam.h"
#include "platform/scoped_os_override.h"

namespace kova {
namespace {

LANGID g_user_langid = 0;
LCID g_thread_locale = 0;

LANGID WINAPI FakeGetUserDefaultLangID() { return g_user_langid; }
LCID WINAPI FakeGetThreadLocale() { return g_thread_locale; }

TEST(LanguagesWin32, DefaultTransformFollowsTheUsersLanguage) {
  ScopedOsOverride<decltype(OsSeam::GetUserDefaultLangID)> user(&OsSeam::GetUserDefaultLangID,
                                                                FakeGetUserDefaultLangID);
  const struct {
    LANGID user;
    uint16_t transform;
  } cases[] = {
      {2052, 2052},  // Chinese (PRC), before the table
      {3076, 1028},  // Chinese (Hong Kong): primary language 4
      {1031, 1031},  // German
      {2057, 1033},  // English (United Kingdom)
      {2058, 1034},  // Spanish (Mexico)
      {1049, 1033},  // Russian: no transform
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.user);
    g_user_langid = c.user;
    EXPECT_EQ(GetDefaultTransformLanguage(), c.transform);
  }
}

TEST(LanguagesWin32, DescriptorTagFollowsTheThreadLocale) {
  ScopedOsOverride<decltype(OsSeam::GetThreadLocale)> locale(&OsSeam::GetThreadLocale,
                                                             FakeGetThreadLocale);
  const struct {
    LCID locale;
    const char* tag;
  } cases[] = {
      {1033, "en"},     // primary language 9, not en_US
      {2052, "zh"},     // the whole LCID, not zh_CN
      {1028, "zh_TW"},  // primary language 4
      {1086, "ms_MY"},  // only the whole-LCID pass knows it
      {1079, "en"},     // Georgian: no row
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale);
    g_thread_locale = c.locale;
    char tag[kLanguageTagSize] = "stale";
    GetDescriptorLanguageTag(tag, sizeof tag);
    EXPECT_STREQ(tag, c.tag);
  }
}

}  // namespace
}  // namespace kova
