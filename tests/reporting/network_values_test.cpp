#include "reporting/network_values.h"

#include <gtest/gtest.h>

namespace kova {
namespace {

TEST(NetworkValues, CountryCodeIsExactlyTwoAsciiLetters) {
  const struct {
    const char* text;
    bool country;
  } cases[] = {
      {"DE", true},  {"fr", true},  {"Az", true},   {"zA", true},
      {"D", false},  {"", false},   {"DEU", false}, {"\"<", false},
      {"@A", false}, {"A[", false}, {"`a", false},  {"a{", false},
      {"D\xC4", false},  // a letter of the code page, not of ASCII
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsCountryCode(c.text), c.country) << c.text;
  }
}

}  // namespace
}  // namespace kova
