// AppendStatusLog: the local clock, TMPDIR or the temporary folder, and one
// open-seek-write-close of the log file per entry.
#include <windows.h>

#include "platform/os_seam.h"
#include "reporting/status_log.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

// TMPDIR's value when it is set, non-empty and fits the buffer; else null.
const char* ReadTmpDir(char* buffer, DWORD size) {
  DWORD length = GetEnvironmentVariableA("TMPDIR", buffer, size);
  // 0: unset or empty; size or more: the size it would need (the buffer
  // holds nothing defined).
  if (length == 0 || length >= size) return nullptr;
  return buffer;
}

void WriteAll(HANDLE file, const char* text) {
  DWORD written = 0;
  Os().WriteFile(file, text, static_cast<DWORD>(TextLength(text)), &written, nullptr);
}

}  // namespace

void AppendStatusLog(const char* text) {
  SYSTEMTIME now;
  Os().GetLocalTime(&now);
  const LocalTime local{now.wYear, now.wMonth, now.wDayOfWeek, now.wDay,
                        now.wHour, now.wMinute, now.wSecond};
  char prefix[kLogPrefixSize];
  FormatLogPrefix(&local, prefix, sizeof prefix);

  char path[kLogPathSize];
  char folder[kLogPathSize];
  // TMPDIR first; when it is unset, or too long for the path, the
  // platform's temporary folder (which ends in a backslash).
  if (!BuildStatusLogPath(ReadTmpDir(folder, sizeof folder), nullptr, path, sizeof path)) {
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) return;
    if (!BuildStatusLogPath(nullptr, folder, path, sizeof path)) return;
  }

  // Write sharing: another process may hold the log open for writing too.
  HANDLE file = Os().CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  SetFilePointer(file, 0, nullptr, FILE_END);
  WriteAll(file, prefix);
  WriteAll(file, text);
  Os().CloseHandle(file);
}

}  // namespace kova
