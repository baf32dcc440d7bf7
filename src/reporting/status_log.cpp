#include "reporting/status_log.h"

#include "text/bounded_text.h"

namespace kova {

namespace {

// Each name in four bytes, its terminator included: no table of pointers.
const char kDayNames[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char kMonthNames[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Two digits with a leading zero, for values below 100.
struct TwoDigits {
  explicit TwoDigits(uint32_t value)
      : text{static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10), '\0'} {}
  char text[3];
};

}  // namespace

bool FormatLogTimeStamp(const LocalTime& t, char* stamp, size_t cap) {
  if (cap == 0) return false;
  stamp[0] = '\0';
  bool in_range = t.month >= 1 && t.month <= 12 && t.day_of_week <= 6 && t.day >= 1 &&
                  t.day <= 31 && t.hour <= 23 && t.minute <= 59 && t.second <= 59 &&
                  t.year >= 1000 && t.year <= 9999;
  if (!in_range) return false;
  bool fit = TextFormat(stamp, cap, "%s %s %s %s:%s:%s %u\n", kDayNames[t.day_of_week],
                        kMonthNames[t.month - 1], TwoDigits(t.day).text, TwoDigits(t.hour).text,
                        TwoDigits(t.minute).text, TwoDigits(t.second).text, t.year);
  if (!fit) stamp[0] = '\0';
  return fit;
}

void FormatLogPrefix(const LocalTime* time, char* prefix, size_t cap) {
  if (cap == 0) return;
  prefix[0] = '\0';
  char stamp[kLogTimeStampLength + 1];
  if (time == nullptr || !FormatLogTimeStamp(*time, stamp, sizeof stamp)) return;
  if (!TextFormat(prefix, cap, "\n%s:: ", stamp)) prefix[0] = '\0';
}

bool BuildStatusLogPath(const char* tmpdir, const char* temp_folder, char* path, size_t cap) {
  if (cap == 0) return false;
  if (tmpdir != nullptr && tmpdir[0] != '\0' &&
      TextFormat(path, cap, "%s\\%s", tmpdir, kStatusLogName)) {
    return true;
  }
  // A TMPDIR too long for the path falls back to the platform's folder.
  if (temp_folder != nullptr && temp_folder[0] != '\0' &&
      TextFormat(path, cap, "%s%s", temp_folder, kStatusLogName)) {
    return true;
  }
  path[0] = '\0';
  return false;
}

}  // namespace kova
