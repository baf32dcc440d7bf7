// A fatal file error on the way to the package, and its box.
#pragma once

#include <windows.h>

namespace kova {

// The operation's label (what follows "Installer : Wrapper." in the message,
// e.g. "CreateFile ") and the Windows error code. The main sequence shows it
// (ShowFatalError), unless the install is silent, and ends the run with the
// code as the exit code; label null: none.
struct FatalError {
  const char* label = nullptr;
  DWORD code = 0;
};

// The label of a file that could not be created, or is not the one meant.
constexpr char kCreateFileLabel[] = "CreateFile ";

// The fatal error for the last Windows error of the operation label names.
FatalError FailWithLastError(const char* label);
// Shows "Installer : Wrapper.<label> failed with error <n>: <system text>"
// (caption "Error").
void ShowFatalError(const FatalError& error);

}  // namespace kova
