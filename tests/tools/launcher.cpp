// Runs a program and writes its full 32-bit exit code to a file, read inside
// Windows (the wine command keeps only the low 8 bits).
//
//   launcher.exe [--env NAME=VALUE]... [--unsetenv NAME]... <result file> <command-line file>
//
// The command-line file's bytes are passed to CreateProcessA exactly as
// written, so a test controls the child's quoting and escaping (Wine would
// re-quote a command line given to it as an argument). The result file gets the
// exit code as an unsigned decimal number, or "error <n>" when the child could
// not be started; then a second line for the benchmark: "start-ms=<the wall
// clock in Unix milliseconds just before the child was started>
// peak-private=<the child's peak private bytes, 0 when unknown>".
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  int i = 1;
  for (; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--env") == 0) {
      char* eq = std::strchr(argv[i + 1], '=');
      if (eq == nullptr) return 2;
      *eq = '\0';
      SetEnvironmentVariableA(argv[i + 1], eq + 1);
    } else if (std::strcmp(argv[i], "--unsetenv") == 0) {
      SetEnvironmentVariableA(argv[i + 1], nullptr);
    } else {
      break;
    }
  }
  if (i + 2 != argc) return 2;
  const char* result_path = argv[i];
  static char command_line[32768];
  FILE* in = std::fopen(argv[i + 1], "rb");
  if (in == nullptr) return 2;
  size_t n = std::fread(command_line, 1, sizeof command_line - 1, in);
  std::fclose(in);
  command_line[n] = '\0';

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  FILE* out = std::fopen(result_path, "w");
  if (out == nullptr) return 3;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const unsigned long long start_ms =
      ((static_cast<unsigned long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime) -
       116444736000000000ull) / 10000;
  if (!CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fprintf(out, "error %lu\n", GetLastError());
    std::fclose(out);
    return 4;
  }
  // The peak is read while the child lives (a process that has ended may no
  // longer report it), every few milliseconds and once more at the end.
  SIZE_T peak = 0;
  for (bool running = true; running;) {
    running = WaitForSingleObject(process.hProcess, 5) == WAIT_TIMEOUT;
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory) &&
        memory.PeakPagefileUsage > peak) {
      peak = memory.PeakPagefileUsage;
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  std::fprintf(out, "%lu\nstart-ms=%llu peak-private=%llu\n", static_cast<unsigned long>(code),
               start_ms, static_cast<unsigned long long>(peak));
  std::fclose(out);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return 0;
}
