// The status log: "kusched.log" in the user's temporary folder, one
// time-stamped entry per call, appended and never read back. The entry's
// texts and the log's path are made by pure functions here; AppendStatusLog
// (status_log_win32.cpp) reads the clock and the environment and writes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "product/product.h"

namespace kova {

constexpr size_t kLogPrefixSize = 256;
// The longest text one entry carries, terminator included (the report body);
// a longer text is cut there.
constexpr size_t kLogTextSize = 2048;
// A path text (UTF-8 on the NT family); the path calls take at most MAX_PATH
// units of it.
constexpr size_t kLogPathSize = kPathTextSize;
constexpr char kStatusLogName[] = "kusched.log";
// "Wed Jan 08 14:03:09 2025" and a newline.
constexpr size_t kLogTimeStampLength = 25;

// A local time as the system reports it (SYSTEMTIME's fields).
struct LocalTime {
  uint32_t year;
  uint32_t month;        // 1-12
  uint32_t day_of_week;  // 0 = Sunday
  uint32_t day;          // 1-31
  uint32_t hour;
  uint32_t minute;
  uint32_t second;
};

// The time stamp: English three-letter weekday and month, the day as two
// digits, hh:mm:ss, the four-digit year, a newline. False, with stamp
// empty, when a field is out of range or the text does not fit.
bool FormatLogTimeStamp(const LocalTime& time, char* stamp, size_t cap);

// The entry prefix "\n<time stamp>:: "; empty when the time stamp cannot be
// made (time is null or a field is out of range), so that only the caller's
// text is written.
void FormatLogPrefix(const LocalTime* time, char* prefix, size_t cap);

// The log's path into path[cap]: "<tmpdir>\kusched.log" when tmpdir is a
// non-empty value (one backslash added even when it ends in one) and the
// path fits; otherwise "<temp_folder>kusched.log", the temporary folder
// ending in its backslash. tmpdir may be null (unset or unusable). False,
// with path empty, when neither fits.
bool BuildStatusLogPath(const char* tmpdir, const char* temp_folder, char* path, size_t cap);

}  // namespace kova
