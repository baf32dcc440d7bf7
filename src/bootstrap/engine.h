// The Windows Installer engine: its version check, its location and its run.
#pragma once

#include <windows.h>

#include <cstdint>

#include "product/process_state.h"

namespace kova {

// True when msi.dll in the system directory is version 2.0.2600.0 or later;
// false when it is older or its version cannot be read.
bool IsInstallerEngineSufficient();

// Fills buffer[size] with "<InstallerLocation>\msiexec.exe", a path text
// (path_text.h; the value is read wide on the NT family), and returns true,
// or false: no key (buffer untouched), no value, a value that is not a
// terminated text within MAX_PATH units, or no room for "\msiexec.exe" in
// a path (emptied).
bool GetMsiexecPath(char* buffer, DWORD size);

// Hands the package state's country and post-status URL in the Policy key
// while state's reporting is on (and deletes PostStatusUrl while it is off), then
// starts the engine with command_line (its first, quoted token is the engine
// path), waits for it without a time-out and returns its exit code; 1 when the
// process cannot be started. command_line is a path text, started with
// CreateProcessW on the NT family (CreateProcessA on 9x, which may write
// into it).
int32_t RunAndWait(char* command_line, const ProcessState& state);

}  // namespace kova
