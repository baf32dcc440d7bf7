// AppendStatusLog: the local clock, TMPDIR or the temporary folder, and one
// open-append-close of the log file per entry.
#include <windows.h>

#include "platform/file_handle.h"
#include "platform/final_path.h"
#include "platform/os_seam.h"
#include "platform/path_text.h"
#include "reporting/status_log_win32.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

// A plain file with this one name: not a folder, not a reparse point, no
// second (hard) link through which the entry would reach another file.
bool IsPlainFileWithOneName(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  const DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return (info.dwFileAttributes & kNotPlain) == 0 && info.nNumberOfLinks == 1;
}

// Opens the log at path: the file that is there, else a new one (*created).
// Append-only access: every write lands at the end of the file as it is
// then, even while another process appends too; the attributes, to check
// what was opened. Write and delete sharing: another process may hold the
// log open for writing as this one does. Only a file this call creates is
// opened for deletion too, to take it back when it lies in the wrong place;
// asking that of an existing log would shut out its other writers. The name
// itself is opened, never a link's target.
HANDLE OpenLog(const char* path, bool* created) {
  const DWORD kAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
  const DWORD kShare = FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  HANDLE file = INVALID_HANDLE_VALUE;
  // Twice: another process may create the log between the two opens.
  for (int attempt = 0; attempt < 2 && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = OpenPath(path, kAccess, kShare, OPEN_EXISTING, kFlags);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_NOT_FOUND) break;
    file = OpenPath(path, kAccess | DELETE, kShare, CREATE_NEW, kFlags);
    *created = file != INVALID_HANDLE_VALUE;
    if (!*created && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  return file;
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
  // TMPDIR first; when it is unset, or too long for a path, the platform's
  // temporary folder (which ends in a backslash). One call site for both
  // tries: the path is built in one place.
  const char* tmpdir = ReadSystemPath("TMPDIR", folder) != 0 ? folder : nullptr;
  const char* temp_folder = nullptr;
  while (!BuildStatusLogPath(tmpdir, temp_folder, path, sizeof path) || !FitsPath(path)) {
    if (temp_folder != nullptr || ReadTempFolder(folder) == 0) return;
    tmpdir = nullptr;
    temp_folder = folder;
  }
  TextAppendCut(entry, sizeof entry, text);

  // Where the system can tell a handle's final path (Vista on), the folder
  // must be a real one and the opened log must be the file of that name in
  // it: the temporary folder comes from the user's environment, and a link
  // there would be followed for every name below it.
  const HandlePathFunctions calls = LookUpHandlePathFunctions();
  char expected[kLogPathSize];  // the folder's final path, then the log's in it
  const char* log_folder = tmpdir != nullptr ? tmpdir : temp_folder;
  if (calls.GetFinalPathNameByHandleW != nullptr &&
      (GetFolderFinalPath(calls, log_folder, TextLength(log_folder), expected) != 0 ||
       !TextAppend(expected, sizeof expected, "\\") ||
       !TextAppend(expected, sizeof expected, kStatusLogName))) {
    return;
  }
  bool created = false;
  FileHandle file(OpenLog(path, &created));
  if (!file.IsOpen()) return;
  if (calls.GetFinalPathNameByHandleW != nullptr &&
      CheckFinalPath(calls, file.Get(), expected) != 0) {
    if (created) DeleteThroughHandle(calls, file.Get());
    return;
  }
  if (!IsPlainFileWithOneName(file.Get())) return;
  DWORD written = 0;
  Os().WriteFile(file.Get(), entry, static_cast<DWORD>(TextLength(entry)), &written, nullptr);
}

}  // namespace kova
