#include "settings/client_facts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kova {
namespace {

struct OsCase {
  uint32_t platform, major, minor, product_type;
  int32_t service_pack;
  const char* description;
};

const OsCase kOsCases[] = {
    // NT rows.
    {2, 4, 0, 1, 6, "winnt-sp6"},
    {2, 4, 7, 0, 0, "winnt"},
    {2, 5, 0, 1, 4, "win2000-sp4"},
    {2, 5, 1, 1, 2, "winxp-sp2"},
    {2, 5, 2, 1, 2, "win2003-sp2"},  // XP x64 edition is NT 5.2 too
    {2, 5, 2, 3, 0, "win2003"},
    {2, 6, 0, 1, 0, "winvista"},
    {2, 6, 0, 3, 1, "winlong-sp1"},
    {2, 6, 0, 2, 0, "winlong"},
    {2, 6, 0, 0, 0, "winlong"},  // no product type: the short structure
    // Windows 95 family rows.
    {1, 4, 10, 0, 0, "win98"},
    {1, 4, 90, 0, 0, "winme"},
    {1, 4, 0, 0, 0, "win95"},
    {1, 4, 3, 0, 0, "win95"},
    {1, 5, 1, 0, 0, "win95"},
    {1, 0, 0, 0, 0, "win95"},
    // Everything else: "major.minor" when both are non-zero, else "win32".
    {2, 6, 1, 1, 1, "6.1-sp1"},
    {2, 6, 2, 1, 0, "6.2"},
    {2, 5, 3, 1, 0, "5.3"},
    {2, 3, 51, 1, 0, "3.51"},
    {2, 3, 0, 1, 0, "win32"},
    {2, 10, 0, 1, 0, "win32"},
    {0, 0, 0, 0, 0, "win32"},  // GetVersionExA failed: all fields zero
    {3, 5, 1, 1, 0, "5.1"},    // an unknown platform with a known version
    {0, 3, 1, 0, 0, "3.1"},
};

TEST(OsDescription, TableRowsAndServicePacks) {
  for (const OsCase& c : kOsCases) {
    char name[kOsFactTextSize];
    char description[kOsFactTextSize];
    OsNameForVersion(c.platform, c.major, c.minor, c.product_type, name, sizeof name);
    FormatOsDescription(name, c.service_pack, description, sizeof description);
    EXPECT_STREQ(description, c.description)
        << "platform " << c.platform << " " << c.major << "." << c.minor << " type "
        << c.product_type << " sp " << c.service_pack;
  }
}

TEST(OsDescription, HugeVersionNumbersAreCutToTheBuffer) {
  char name[kOsFactTextSize];
  std::memset(name, '#', sizeof name);
  OsNameForVersion(2, 2147483647u, 2147483647u, 1, name, sizeof name);
  EXPECT_EQ(std::strlen(name), kOsFactTextSize - 1);
  EXPECT_EQ(std::string(name), std::string("2147483647.2147483647").substr(0, 19));

  char description[kOsFactTextSize];
  FormatOsDescription("winxp", -2147483647 - 1, description, sizeof description);
  EXPECT_STREQ(description, "winxp-sp-2147483648");  // exactly 19 characters
  FormatOsDescription("2147483647.21474836", 5, description, sizeof description);
  EXPECT_STREQ(description, "2147483647.21474836");
}

TEST(Architecture, NamesAndNumbers) {
  const struct {
    uint32_t value;
    const char* name;
  } cases[] = {{0, "i586"}, {6, "ia64"}, {9, "amd64"}, {5, "5"}, {1, "1"}, {12, "12"},
               {65535, "65535"}};
  for (const auto& c : cases) {
    char name[kOsFactTextSize];
    ArchitectureName(c.value, name, sizeof name);
    EXPECT_STREQ(name, c.name) << c.value;
  }
}

// Runs the choice over subkey names in enumeration order.
std::string Choose(const std::vector<const char*>& names, bool* found) {
  char best[kRuntimeVersionNameSize] = "";
  *found = false;
  for (const char* name : names) {
    if (OfferRuntimeVersion(name, best, sizeof best)) *found = true;
  }
  return best;
}

TEST(PreviousRuntimeVersion, Choice) {
  const struct {
    std::vector<const char*> names;
    const char* expected;  // null: none found
  } cases[] = {
      {{"1.4", "1.4.2_05", "1.5.0_10", "1.6", "1.6.0_07"}, "1.5.0_10"},
      {{"1.6.0_07", "1.6.0_10"}, "1.6.0_10"},  // a newer one counts as well
      {{"1.6.0_10", "1.6.0_07"}, "1.6.0_10"},
      {{"1.6.0_07"}, nullptr},
      {{}, nullptr},
      {{"1.4", "1.6", "abc"}, nullptr},     // 3 characters or fewer never count
      {{"1.4.2"}, "1.4.2"},                 // 4 is enough
      {{"1.5.0_10", "1.4.2_05"}, "1.5.0_10"},  // not the last one, the greatest
      {{"1.6.0_07-beta", "1.6.0_07"}, "1.6.0_07-beta"},
      {{"1.6.0_07", "1.6.0_07_"}, "1.6.0_07_"},
      // Case-insensitive order; the first of two equal names stays.
      {{"1.5.0_a1", "1.5.0_B1"}, "1.5.0_B1"},
      {{"1.5.0_B1", "1.5.0_a1"}, "1.5.0_B1"},
      {{"1.5.0_b1", "1.5.0_B1"}, "1.5.0_b1"},
      // The own version is compared case-sensitively.
      {{"1.6.0_07", "1.6.0_07"}, nullptr},
      // A prefix sorts first.
      {{"1.5.0_1", "1.5.0"}, "1.5.0_1"},
      {{"1.5.0", "1.5.0_1"}, "1.5.0_1"},
      // Bytes as unsigned values: a high byte sorts after ASCII.
      {{"1.5.0\xe9", "1.5.0z"}, "1.5.0\xe9"},
      // "_" (0x5f) sorts after "A" (0x41) but before "a" (0x61): the
      // mapping to lower case decides.
      {{"1.5.0_", "1.5.0A"}, "1.5.0A"},
      {{"1.5.0A", "1.5.0_"}, "1.5.0A"},
  };
  for (const auto& c : cases) {
    bool found = false;
    std::string best = Choose(c.names, &found);
    if (c.expected == nullptr) {
      EXPECT_FALSE(found);
      EXPECT_EQ(best, "");
    } else {
      EXPECT_TRUE(found);
      EXPECT_EQ(best, c.expected);
    }
  }
}

TEST(VisitorId, Making) {
  const struct {
    uint32_t tick, seconds, pid;
    const char* id;
  } cases[] = {
      // 14 digits, filled to 16 and split 8 + 8.
      {0x1a2b, 0x48d1e0f0, 0x10, "1a2b48d1-e0f010ff"},
      // 17 digits: no filling, split 8 + 9.
      {0x1a2b3, 0x48d1e0f0, 0xabcd, "1a2b348d-1e0f0abcd"},
      // 3 digits: at most 8 "f" are added, 11 characters split 5 + 6.
      {0, 0, 0, "000ff-ffffff"},
      // 15 digits: one "f", 16 characters.
      {0x1a2b3, 0x48d1e0f0, 0x10, "1a2b348d-1e0f010f"},
      // 24 digits: the longest, 12 + 12.
      {0xffffffff, 0x80000000, 0x12345678, "ffffffff8000-000012345678"},
  };
  for (const auto& c : cases) {
    char id[kVisitorIdSize];
    EXPECT_TRUE(MakeVisitorId(c.tick, c.seconds, c.pid, id, sizeof id));
    EXPECT_STREQ(id, c.id);
  }
}

TEST(VisitorId, SmallBufferIsCutAndTerminated) {
  char id[10];
  std::memset(id, '#', sizeof id);
  EXPECT_FALSE(MakeVisitorId(0x1a2b, 0x48d1e0f0, 0x10, id, sizeof id));
  EXPECT_STREQ(id, "1a2b48d1-");
}

TEST(VisitorId, UnixSecondsFromFileTime) {
  EXPECT_EQ(UnixSecondsFromFileTime(116444736000000000ull), 0u);
  EXPECT_EQ(UnixSecondsFromFileTime(116444735999999999ull), 0u);
  EXPECT_EQ(UnixSecondsFromFileTime(116444736000000000ull + 0x48d1e0f0ull * 10000000ull + 9999999),
            0x48d1e0f0u);
  // Past 2106 the count wraps to 32 bits.
  EXPECT_EQ(UnixSecondsFromFileTime(116444736000000000ull + 0x100000005ull * 10000000ull), 5u);
}

}  // namespace
}  // namespace kova
