// Path texts: how the product holds a path, and the one place where it meets
// the system's path calls.
//
// Every path the product builds, checks, opens or hands on (the data folder,
// the package's folder chain and file, final paths, the temporary folder and
// the log, the engine's path and command line) is a char text. On the NT
// family it is UTF-8: each call that takes or gives a path is the wide ("W")
// one, and the text is converted here, with CP_UTF8, which is lossless. It
// never passes through the ANSI code page, whose "best fit" table would turn
// letters into other letters, quotes and backslashes (full-width U+FF02
// becomes '"'), or into '?'. On Windows 95/98/Me, which have no wide file
// calls (and no elevation), it is the ANSI code page's text, and the ANSI
// calls take it as it is. The portable core (path composition, the command
// line) works on the bytes either way.
#pragma once

#include <windows.h>

#include <cstddef>

#include "product/product.h"

namespace kova {

// UTF-16 units of a wide path buffer: MAX_PATH and room for "\\?\".
constexpr size_t kWidePathSize = MAX_PATH + 4;

// Chooses the route once, from the platform id (through the OS seam): wide
// on the NT family, ANSI on 9x. Called first at process start; until then
// the route is wide.
void ChoosePathRoute();
bool UsesWidePaths();

// text (UTF-8) as UTF-16 into wide[cap]; false when it does not fit or is no
// valid UTF-8 (nothing is ever replaced by a stand-in character).
bool ToWide(const char* text, WCHAR* wide, size_t cap);
// wide as UTF-8 into text[cap]; false, with text empty, when it does not
// fit. A lone surrogate, which no UTF-8 text can hold, comes out as a stand-in
// (U+FFFD; bytes ToWide refuses before Vista): a name that then opens
// nothing, or another file, which the final-path and identity checks refuse.
bool FromWide(const WCHAR* wide, char* text, size_t cap);

// True when path is short enough for the path calls: at most MAX_PATH - 1
// UTF-16 units (wide route) or bytes (ANSI route).
bool FitsPath(const char* path);

// The path calls on a path text. A path with no wide form of at most
// MAX_PATH units fails with the conversion's error (GetLastError), and the
// system is not called.
HANDLE OpenPath(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
DWORD PathAttributes(const char* path);  // INVALID_FILE_ATTRIBUTES on failure
BOOL MakeFolder(const char* path);
BOOL DeletePath(const char* path);

// A path the system gives, as a path text in text[kPathTextSize]: the
// environment variable name's value, or the Windows folder (name null). 0
// when unset, failed or too long (text empty), else its length.
size_t ReadSystemPath(const char* name, char* text);
// The temporary folder (ending in a backslash) into text[kPathTextSize]; 0
// on failure (text empty), else its length.
size_t ReadTempFolder(char* text);

}  // namespace kova
