// The bootstrapper's whole control flow, run once by WinMain.
#pragma once

#include <windows.h>

#include <cstdint>

namespace kova {

// Exit codes of the bootstrapper's own (the engine's exit code is passed on as it is).
constexpr int32_t kExitEngineInsufficient = -2;
constexpr int32_t kExitMsiexecNotFound = -3;
constexpr int32_t kExitNoPackageOrNoEngineRun = 1;

// instance holds the string table and the package resource; argv is the
// argument vector split by the process start-up (argv[0], the program, is
// skipped). Returns the exit code, which the entry point ends the process
// with. A fatal file error ends the run with its Windows error as the exit
// code, after its box; the engine-too-old case (-2) after its message. A
// silent install (/s) shows neither.
int32_t RunMainSequence(HINSTANCE instance, int argc, char** argv);

}  // namespace kova
