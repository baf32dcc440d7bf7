#include "reporting/status_log.h"

#include "text/bounded_text.h"

namespace kova {

namespace {

// Each name in four bytes, its terminator included: no table of pointers.
const char kDayNames[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char kMonthNames[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The time stamp's fields into out[cap] by format, which takes the weekday,
// the month, "dd hh:mm:ss" and the year: the time stamp alone, or the whole
// entry prefix around it. False, with out empty, when a field is out of
// range or the text does not fit.
bool FormatTimeFields(const LocalTime& t, char* out, size_t cap, const char* format) {
  if (cap == 0) return false;
  out[0] = '\0';
  bool in_range = t.month >= 1 && t.month <= 12 && t.day_of_week <= 6 && t.day >= 1 &&
                  t.day <= 31 && t.hour <= 23 && t.minute <= 59 && t.second <= 59 &&
                  t.year >= 1000 && t.year <= 9999;
  if (!in_range) return false;
  // "dd hh:mm:ss": each value in two digits with a leading zero (all are
  // below 100), followed by its separator; the last one by the terminator.
  const uint32_t values[] = {t.day, t.hour, t.minute, t.second};
  char clock[12];
  for (size_t i = 0; i < 4; ++i) {
    clock[3 * i] = static_cast<char>('0' + values[i] / 10);
    clock[3 * i + 1] = static_cast<char>('0' + values[i] % 10);
    clock[3 * i + 2] = " ::"[i];
  }
  return TextFormat(out, cap, format, kDayNames[t.day_of_week], kMonthNames[t.month - 1], clock,
                    t.year);
}

}  // namespace

bool FormatLogTimeStamp(const LocalTime& t, char* stamp, size_t cap) {
  return FormatTimeFields(t, stamp, cap, "%s %s %s %u\n");
}

void FormatLogPrefix(const LocalTime* time, char* prefix, size_t cap) {
  // The prefix is formatted in one go: an in-range time stamp is always its
  // full 25 characters, so it needs no buffer of its own.
  if (cap == 0) return;
  prefix[0] = '\0';
  if (time != nullptr) FormatTimeFields(*time, prefix, cap, "\n%s %s %s %u\n:: ");
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
