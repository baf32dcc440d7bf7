#include "bootstrap/languages.h"

#include "text/bounded_text.h"

namespace kova {

namespace {

constexpr uint16_t kChineseSimplified = 2052;  // matched whole, before the primary language
constexpr uint16_t kFallbackTransform = 1033;
const char kFallbackTag[] = "en";

uint32_t PrimaryLanguage(uint32_t id) { return id & 0xFFu; }

}  // namespace

const TransformRow kTransformTable[kTransformTableRows] = {
    {2052, 2052}, {4, 1028},  {7, 1031},  {9, 1033},  {10, 1034},
    {12, 1036},   {16, 1040}, {17, 1041}, {18, 1042}, {29, 1053},
};

// Searched from the first row. The first 52 rows are keyed by primary
// language number (except 2052, a whole LCID), so the whole-LCID rows after
// them decide only for languages without such a row (ts, yi, ms_MY, sw_KE,
// ms_BN). The order is kept as it stands. Row i's tag is the i-th of the
// NUL-separated tags in kLocaleTags: 1,257 bytes for the two arrays, where
// rows with a fixed tag field took 1,780.
const uint16_t kLocaleIds[kLocaleTagTableRows] = {
    1, 2, 3, 2052, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24,
    25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 41, 42, 45, 47, 50, 52, 53, 54,
    56, 57, 58, 60,

    1025, 1026, 1027, 1028, 1029, 1030, 1031, 1032, 1033, 1034, 1035, 1036, 1037, 1038, 1039,
    1040, 1041, 1042, 1043, 1044, 1045, 1046, 1047, 1048, 1049, 1050, 1051, 1052, 1053, 1054,
    1055, 1056, 1057, 1058, 1059, 1060, 1061, 1062, 1063, 1065, 1066, 1069, 1071, 1073, 1074,
    1076, 1077, 1078, 1080, 1081, 1082, 1084, 1085, 1086, 1089,

    2049, 2052, 2055, 2057, 2058, 2060, 2064, 2066, 2067, 2068, 2070, 2072, 2073, 2074, 2077,
    2108, 2110,

    3073, 3076, 3079, 3081, 3082, 3084, 3098, 4097, 4100, 4103, 4105, 4106, 4108, 5121, 5124,
    5127, 5129, 5130, 5132, 6145, 6153, 6154, 6156, 7169, 7177, 7178, 8193, 8201, 8202, 9217,
    9225, 9226, 10241, 10249, 10250, 11265, 11273, 11274, 12289, 12297, 12298, 13313, 13321,
    13322, 14337, 14346, 15361, 15370, 16385, 16394, 17418, 18442, 19466, 20490,
};

const char kLocaleTags[] =
    "ar\0" "bg\0" "ca\0" "zh\0" "zh_TW\0" "cs\0" "da\0" "de\0" "el\0" "en\0" "es\0" "fi\0" "fr\0"
    "iw\0" "hu\0" "is\0" "it\0" "ja\0" "ko\0" "nl\0" "no\0" "pl\0" "pt\0" "rm\0" "ro\0" "ru\0"
    "sh\0" "sk\0" "sq\0" "sv\0" "th\0" "tr\0" "ur\0" "in\0" "uk\0" "be\0" "sl\0" "et\0" "lv\0"
    "lt\0" "fa\0" "vi\0" "eu\0" "mk\0" "tn\0" "xh\0" "zu\0" "af\0" "fo\0" "hi\0" "mt\0" "gd\0"
    "ar_SA\0" "bg_BG\0" "ca_ES\0" "zh_TW\0" "cs_CZ\0" "da_DK\0" "de_DE\0" "el_GR\0" "en_US\0"
    "es_ES\0" "fi_FI\0" "fr_FR\0" "iw_IL\0" "hu_HU\0" "is_IS\0" "it_IT\0" "ja_JP\0" "ko_KR\0"
    "nl_NL\0" "no_NO\0" "pl_PL\0" "pt_BR\0" "rm_CH\0" "ro_RO\0" "ru_RU\0" "hr_HR\0" "sk_SK\0"
    "sq_AL\0" "sv_SE\0" "th_TH\0" "tr_TR\0" "ur\0" "in_ID\0" "uk_UA\0" "be_BY\0" "sl_SI\0"
    "et_EE\0" "lv_LV\0" "lt_LT\0" "fa_IR\0" "vi_VN\0" "eu_ES\0" "mk_MK\0" "ts\0" "tn_BW\0" "xh\0"
    "zu\0" "af_ZA\0" "fo_FO\0" "hi_IN\0" "mt_MT\0" "gd_GB\0" "yi\0" "ms_MY\0" "sw_KE\0"
    "ar_IQ\0" "zh_CN\0" "de_CH\0" "en_GB\0" "es_MX\0" "fr_BE\0" "it_CH\0" "ko_KR\0" "nl_BE\0"
    "no_NO_NY\0" "pt_PT\0" "ro_MD\0" "ru_MD\0" "sh_YU\0" "sv_FI\0" "ga_IE\0" "ms_BN\0"
    "ar_EG\0" "zh_HK\0" "de_AT\0" "en_AU\0" "es_ES\0" "fr_CA\0" "sr_YU\0" "ar_LY\0" "zh_SG\0"
    "de_LU\0" "en_CA\0" "es_GT\0" "fr_CH\0" "ar_DZ\0" "zh_MO\0" "de_LI\0" "en_NZ\0" "es_CR\0"
    "fr_LU\0" "ar_MA\0" "en_IE\0" "es_PA\0" "fr_MC\0" "ar_TN\0" "en_ZA\0" "es_DO\0" "ar_OM\0"
    "en_JM\0" "es_VE\0" "ar_YE\0" "en\0" "es_CO\0" "ar_SY\0" "en_BZ\0" "es_PE\0" "ar_JO\0"
    "en_TT\0" "es_AR\0" "ar_LB\0" "en_ZW\0" "es_EC\0" "ar_KW\0" "en_PH\0" "es_CL\0" "ar_AE\0"
    "es_UY\0" "ar_BH\0" "es_PY\0" "ar_QA\0" "es_BO\0" "es_SV\0" "es_HN\0" "es_NI\0" "es_PR\0";

uint16_t TransformLanguageForUserLanguage(uint16_t user_langid) {
  if (user_langid == kChineseSimplified) return kChineseSimplified;
  uint32_t primary = PrimaryLanguage(user_langid);
  for (const TransformRow& row : kTransformTable) {
    if (row.key == primary) return row.transform_language;
  }
  return kFallbackTransform;
}

bool IsSupportedTransformLanguage(uint16_t langid) {
  for (const TransformRow& row : kTransformTable) {
    if (row.transform_language == langid) return true;
  }
  return false;
}

const char* LocaleTag(size_t row) {
  const char* tag = kLocaleTags;
  for (; row > 0; --row) tag += TextLength(tag) + 1;
  return tag;
}

bool LanguageTagForLocale(uint32_t lcid, char* tag, size_t cap) {
  uint32_t key = lcid == kChineseSimplified ? lcid : PrimaryLanguage(lcid);
  // First the primary language (or 2052), then the whole locale identifier.
  const uint32_t passes[2] = {key, lcid};
  for (uint32_t wanted : passes) {
    for (size_t row = 0; row < kLocaleTagTableRows; ++row) {
      if (kLocaleIds[row] == wanted) return TextCopy(tag, cap, LocaleTag(row));
    }
  }
  return TextCopy(tag, cap, kFallbackTag);
}

}  // namespace kova
