// Runs a program and writes its full 32-bit exit code to a file, read inside
// Windows (the wine command keeps only the low 8 bits).
//
//   launcher.exe [--env NAME=VALUE]... [--unsetenv NAME]... <result file> <command-line file>
//
// The command-line file's bytes are passed to CreateProcessA exactly as
// written, so a test controls the child's quoting and escaping (Wine would
// re-quote a command line given to it as an argument). The result file gets the
// exit code as an unsigned decimal number, or "error <n>" when the child could
// not be started.
#include <windows.h>

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
  if (!CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fprintf(out, "error %lu\n", GetLastError());
    std::fclose(out);
    return 4;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  std::fprintf(out, "%lu\n", static_cast<unsigned long>(code));
  std::fclose(out);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return 0;
}
