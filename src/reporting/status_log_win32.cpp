// AppendStatusLog: the local clock, TMPDIR or the temporary folder, and one
// open-append-close of the log file per entry.
#include <windows.h>

#include "platform/file_handle.h"
#include "platform/final_path.h"
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
    file = Os().CreateFileA(path, kAccess, kShare, nullptr, OPEN_EXISTING, kFlags, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_NOT_FOUND) break;
    file = Os().CreateFileA(path, kAccess | DELETE, kShare, nullptr, CREATE_NEW, kFlags, nullptr);
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

  TextAppendCut(entry, sizeof entry, text);

  // Where the system can tell a handle's final path (Vista on), the folder
  // must be a real one and the opened log must be the file of that name in
  // it: the temporary folder comes from the user's environment, and a link
  // there would be followed for every name below it.
  const HandlePathFunctions calls = LookUpHandlePathFunctions();
  char folder_final[MAX_PATH];
  const char* log_folder = tmpdir != nullptr ? tmpdir : temp_folder;
  if (calls.GetFinalPathNameByHandleA != nullptr &&
      GetFolderFinalPath(calls, log_folder, TextLength(log_folder), folder_final) != 0) {
    return;
  }
  bool created = false;
  FileHandle file(OpenLog(path, &created));
  if (!file.IsOpen()) return;
  if (calls.GetFinalPathNameByHandleA != nullptr) {
    char final_path[MAX_PATH];
    if (CheckFinalPathIn(calls, file.Get(), folder_final, kStatusLogName, final_path) != 0) {
      if (created) DeleteThroughHandle(calls, file.Get());
      return;
    }
  }
  if (!IsPlainFileWithOneName(file.Get())) return;
  DWORD written = 0;
  Os().WriteFile(file.Get(), entry, static_cast<DWORD>(TextLength(entry)), &written, nullptr);
}

}  // namespace kova
