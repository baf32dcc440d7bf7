// The bootstrapper's whole control flow, run once by WinMain.
#pragma once

#include <windows.h>

#include <cstdint>

#include "bootstrap/package_extraction.h"

namespace kova {

// Exit codes of the bootstrapper's own (the engine's exit code is passed on as it is).
constexpr int32_t kExitEngineInsufficient = -2;
constexpr int32_t kExitMsiexecNotFound = -3;
constexpr int32_t kExitNoPackageOrNoEngineRun = 1;

// instance holds the string table and the package resource; argv is the
// argument vector split by the process start-up (argv[0], the program, is skipped).
// Returns the exit code; on a fatal file error it fills *fatal instead, and
// the entry point shows that error and ends the process with its code. A
// silent install (/s) shows no message: the engine-too-old case and a fatal
// file error return their exit codes (-2; the Windows error) with no box.
int32_t RunMainSequence(HINSTANCE instance, int argc, char** argv, FatalError* fatal);

}  // namespace kova
