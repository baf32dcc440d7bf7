// The status log written on Windows (status_log_win32.cpp): the clock,
// TMPDIR or the temporary folder, and one append per entry.
#pragma once

#include "reporting/status_log.h"

namespace kova {

// Appends one entry with this text to the status log; best effort, silent.
// The entry goes out in one append, so entries of processes logging at once
// never mix. Nothing is written when the log's name is a link (a reparse
// point, or a file with more than one name), when the temporary folder is a
// reparse point, or when the opened file's final path is not the folder's
// own plus "kusched.log" (a file this run created elsewhere is deleted
// again): the elevated write must not land in a file somebody else chose.
void AppendStatusLog(const char* text);

}  // namespace kova
