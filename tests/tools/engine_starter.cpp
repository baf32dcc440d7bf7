// The benchmark's baseline: a trivial exe that starts the engine at once and
// passes its exit code on, so that the bootstrapper's own cost up to the
// engine's start can be told apart from what starting processes costs.
//   engine_starter.exe <engine path>
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  char command_line[MAX_PATH + 3];
  std::snprintf(command_line, sizeof command_line, "\"%s\"", argv[1]);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return static_cast<int>(code);
}
