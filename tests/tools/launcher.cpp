// Runs a program and writes its full 32-bit exit code to a file, read inside
// Windows (the wine command keeps only the low 8 bits).
//
//   launcher.exe [--env NAME=VALUE]... [--unsetenv NAME]... <result file> -- <command line>
//
// Everything after " -- " is passed to CreateProcessA exactly as written, so a
// test controls the child's quoting and escaping. The result file gets the
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
  if (i >= argc) return 2;
  const char* result_path = argv[i];
  const char* rest = std::strstr(GetCommandLineA(), " -- ");
  if (rest == nullptr) return 2;
  static char command_line[32768];
  std::snprintf(command_line, sizeof command_line, "%s", rest + 4);

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
