#include "reporting/status_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kova {
namespace {

std::string Stamp(const LocalTime& t) {
  char stamp[64];
  std::memset(stamp, '#', sizeof stamp);
  if (!FormatLogTimeStamp(t, stamp, sizeof stamp)) {
    EXPECT_STREQ(stamp, "");
    return "<none>";
  }
  return stamp;
}

TEST(LogTimeStamp, FixedForm) {
  const struct {
    LocalTime time;
    const char* stamp;
  } cases[] = {
      // The eighth: a zero and an eight.
      {{2025, 1, 3, 8, 14, 3, 9}, "Wed Jan 08 14:03:09 2025\n"},
      {{2008, 9, 4, 18, 0, 0, 0}, "Thu Sep 18 00:00:00 2008\n"},
      {{1999, 12, 5, 31, 23, 59, 59}, "Fri Dec 31 23:59:59 1999\n"},
      {{2024, 2, 4, 29, 9, 5, 1}, "Thu Feb 29 09:05:01 2024\n"},
      {{2023, 3, 0, 5, 12, 0, 0}, "Sun Mar 05 12:00:00 2023\n"},
      {{2023, 4, 1, 10, 0, 0, 0}, "Mon Apr 10 00:00:00 2023\n"},
      {{2023, 5, 2, 2, 0, 0, 0}, "Tue May 02 00:00:00 2023\n"},
      {{2023, 6, 6, 3, 0, 0, 0}, "Sat Jun 03 00:00:00 2023\n"},
      {{2023, 7, 6, 1, 0, 0, 0}, "Sat Jul 01 00:00:00 2023\n"},
      {{2023, 8, 2, 1, 0, 0, 0}, "Tue Aug 01 00:00:00 2023\n"},
      {{2023, 10, 0, 1, 0, 0, 0}, "Sun Oct 01 00:00:00 2023\n"},
      {{2023, 11, 3, 1, 0, 0, 0}, "Wed Nov 01 00:00:00 2023\n"},
      {{1601, 1, 1, 1, 0, 0, 0}, "Mon Jan 01 00:00:00 1601\n"},
      {{9999, 12, 5, 31, 23, 59, 59}, "Fri Dec 31 23:59:59 9999\n"},
      // Fields the text cannot hold: no time stamp at all.
      {{2025, 0, 3, 8, 14, 3, 9}, "<none>"},
      {{2025, 13, 3, 8, 14, 3, 9}, "<none>"},
      {{2025, 1, 7, 8, 14, 3, 9}, "<none>"},
      {{2025, 1, 3, 0, 14, 3, 9}, "<none>"},
      {{2025, 1, 3, 32, 14, 3, 9}, "<none>"},
      {{2025, 1, 3, 8, 24, 3, 9}, "<none>"},
      {{2025, 1, 3, 8, 14, 60, 9}, "<none>"},
      {{2025, 1, 3, 8, 14, 3, 60}, "<none>"},
      {{10000, 1, 3, 8, 14, 3, 9}, "<none>"},
      {{999, 1, 3, 8, 14, 3, 9}, "<none>"},
  };
  for (const auto& c : cases) {
    std::string stamp = Stamp(c.time);
    EXPECT_EQ(stamp, c.stamp);
    if (stamp != "<none>") {
      EXPECT_EQ(stamp.size(), kLogTimeStampLength);
    }
  }
}

TEST(LogPrefix, StampBetweenNewlineAndColons) {
  char prefix[kLogPrefixSize];
  const LocalTime t{2025, 1, 3, 8, 14, 3, 9};
  FormatLogPrefix(&t, prefix, sizeof prefix);
  EXPECT_STREQ(prefix, "\nWed Jan 08 14:03:09 2025\n:: ");

  const LocalTime bad{2025, 13, 3, 8, 14, 3, 9};
  FormatLogPrefix(&bad, prefix, sizeof prefix);
  EXPECT_STREQ(prefix, "");
  FormatLogPrefix(nullptr, prefix, sizeof prefix);
  EXPECT_STREQ(prefix, "");
}

TEST(LogPath, TmpDirOrTemporaryFolder) {
  // With the backslash and the 11-character name: 259 characters, then 260.
  const std::string fits = "C:\\" + std::string(244, 'd');
  const std::string fits_path = fits + "\\kusched.log";
  const std::string long_dir = fits + "d";
  const struct {
    const char* tmpdir;
    const char* temp;
    const char* path;  // null: none
  } cases[] = {
      {"C:\\logs", "C:\\users\\me\\Temp\\", "C:\\logs\\kusched.log"},
      // One backslash is added even after a trailing one.
      {"C:\\logs\\", "C:\\users\\me\\Temp\\", "C:\\logs\\\\kusched.log"},
      {nullptr, "C:\\users\\me\\Temp\\", "C:\\users\\me\\Temp\\kusched.log"},
      {"", "C:\\users\\me\\Temp\\", "C:\\users\\me\\Temp\\kusched.log"},
      {fits.c_str(), "T\\", fits_path.c_str()},
      // A TMPDIR whose path would pass 259 characters: the temporary folder.
      {long_dir.c_str(), "C:\\users\\me\\Temp\\", "C:\\users\\me\\Temp\\kusched.log"},
      {long_dir.c_str(), nullptr, nullptr},
      {nullptr, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    char path[kPathSize];  // a path of MAX_PATH units, as the shell allows
    std::memset(path, '#', sizeof path);
    bool built = BuildStatusLogPath(c.tmpdir, c.temp, path, sizeof path);
    if (c.path == nullptr) {
      EXPECT_FALSE(built);
      EXPECT_STREQ(path, "");
    } else {
      EXPECT_TRUE(built);
      EXPECT_STREQ(path, c.path);
    }
  }
}

}  // namespace
}  // namespace kova
