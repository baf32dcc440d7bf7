// AppendStatusLog: the local clock, TMPDIR or the temporary folder, and one
// open-append-close of the log file per entry.
#include <windows.h>

#include "platform/file_handle.h"
#include "platform/os_seam.h"
#include "reporting/status_log_win32.h"
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

// A plain file with this one name: not a folder, not a reparse point, no
// second (hard) link through which the entry would reach another file.
bool IsPlainFileWithOneName(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  const DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return (info.dwFileAttributes & kNotPlain) == 0 && info.nNumberOfLinks == 1;
}

}  // namespace

void AppendStatusLog(const char* text) {
  SYSTEMTIME now;
  Os().GetLocalTime(&now);
  const LocalTime local{now.wYear, now.wMonth, now.wDayOfWeek, now.wDay,
                        now.wHour, now.wMinute, now.wSecond};
  // The whole entry in one buffer, so that it goes out in one write: the
  // prefix is made in its first kLogPrefixSize bytes, the text appended later.
  char entry[kLogPrefixSize + kLogTextSize];
  FormatLogPrefix(&local, entry, kLogPrefixSize);

  char path[kLogPathSize];
  char folder[kLogPathSize];
  // TMPDIR first; when it is unset, or too long for the path, the
  // platform's temporary folder (which ends in a backslash). One call site
  // for both tries: the path is built in one place.
  const char* tmpdir = ReadTmpDir(folder, sizeof folder);
  const char* temp_folder = nullptr;
  while (!BuildStatusLogPath(tmpdir, temp_folder, path, sizeof path)) {
    if (temp_folder != nullptr) return;
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) return;
    tmpdir = nullptr;
    temp_folder = folder;
  }

  TextAppend(entry, sizeof entry, text);

  // Append-only access: every write lands at the end of the file as it is
  // then, even while another process appends too (and the attributes, to
  // check what was opened). Write sharing: another process may hold the log
  // open for writing. The name itself is opened, never a link's target.
  FileHandle file(Os().CreateFileA(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_WRITE, nullptr,
                                   OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.IsOpen() || !IsPlainFileWithOneName(file.Get())) return;
  DWORD written = 0;
  Os().WriteFile(file.Get(), entry, static_cast<DWORD>(TextLength(entry)), &written, nullptr);
}

}  // namespace kova
