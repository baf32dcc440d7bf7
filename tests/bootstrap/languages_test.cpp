#include "bootstrap/languages.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kova {
namespace {

TEST(Languages, TransformTable) {
  const TransformRow expected[] = {{2052, 2052}, {4, 1028},  {7, 1031},  {9, 1033},  {10, 1034},
                                   {12, 1036},   {16, 1040}, {17, 1041}, {18, 1042}, {29, 1053}};
  ASSERT_EQ(sizeof kTransformTable / sizeof kTransformTable[0], 10u);
  for (size_t i = 0; i < 10; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(kTransformTable[i].key, expected[i].key);
    EXPECT_EQ(kTransformTable[i].transform_language, expected[i].transform_language);
  }
}

TEST(Languages, LocaleTagTableRows) {
  ASSERT_EQ(sizeof kLocaleIds / sizeof kLocaleIds[0], 178u);
  struct {
    size_t row;  // counted from 1
    uint32_t lcid;
    const char* tag;
  } rows[] = {
      {1, 1, "ar"},          {4, 2052, "zh"},       {5, 4, "zh_TW"},       {52, 60, "gd"},
      {53, 1025, "ar_SA"},   {74, 1046, "pt_BR"},   {107, 1089, "sw_KE"},  {108, 2049, "ar_IQ"},
      {117, 2068, "no_NO_NY"}, {124, 2110, "ms_BN"}, {125, 3073, "ar_EG"}, {155, 9225, "en"},
      {177, 19466, "es_NI"}, {178, 20490, "es_PR"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.row);
    EXPECT_EQ(kLocaleIds[r.row - 1], r.lcid);
    EXPECT_STREQ(LocaleTag(r.row - 1), r.tag);
  }
  // The first 52 rows are keyed by primary language number, 2052 excepted; the
  // rest by whole LCIDs. Every tag is a short one.
  for (size_t i = 0; i < 178; ++i) {
    SCOPED_TRACE(i + 1);
    bool primary = kLocaleIds[i] < 256;
    EXPECT_EQ(primary, i < 52 && i != 3);
    EXPECT_NE(strlen(LocaleTag(i)), 0u);
  }
}

TEST(Languages, TransformForUserLanguage) {
  struct {
    uint16_t user, transform;
  } cases[] = {
      {2052, 2052}, {3076, 1028}, {4100, 1028}, {1028, 1028}, {2057, 1033}, {1033, 1033},
      {2058, 1034}, {3082, 1034}, {1041, 1041}, {2077, 1053}, {1046, 1033}, {1049, 1033},
      {0, 1033},
      // Only 2052 itself skips the table: another LANGID with 2052's low byte
      // (4) takes the Chinese (Traditional) row.
      {0x0004, 1028},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.user);
    EXPECT_EQ(TransformLanguageForUserLanguage(c.user), c.transform);
  }
}

TEST(Languages, SupportedTransformLanguages) {
  for (const TransformRow& row : kTransformTable) {
    EXPECT_TRUE(IsSupportedTransformLanguage(row.transform_language)) << row.transform_language;
  }
  for (uint16_t langid : {1049, 1046, 4, 9, 0, 2057, 0xFFFF}) {
    EXPECT_FALSE(IsSupportedTransformLanguage(langid)) << langid;
  }
}

TEST(Languages, TagForLocale) {
  struct {
    uint32_t lcid;
    const char* tag;
  } cases[] = {
      {1033, "en"},     {1046, "pt"},    {1028, "zh_TW"}, {2052, "zh"},   {3082, "es"},
      {1086, "ms_MY"},  {2110, "ms_BN"}, {1073, "ts"},    {1085, "yi"},   {1089, "sw_KE"},
      {1079, "en"},     {0, "en"},       {4100, "zh_TW"}, {1041, "ja"},   {1050, "sh"},
      // The second pass compares all 32 bits.
      {0x10000 + 1086, "en"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lcid);
    char tag[kLanguageTagSize];
    std::memset(tag, 'x', sizeof tag);
    EXPECT_TRUE(LanguageTagForLocale(c.lcid, tag, sizeof tag));
    EXPECT_STREQ(tag, c.tag);
  }
  char small[3];
  EXPECT_FALSE(LanguageTagForLocale(1086, small, sizeof small));
  EXPECT_STREQ(small, "");
}

}  // namespace
}  // namespace kova
