// Stands in for msiexec.exe in the end-to-end tests: put in a folder that
// InstallerLocation names, it records each run and exits with a scripted code.
//
// Files beside the stand-in:
//   standin-exitcodes.txt  exit codes for run 1, 2, ... (the last one repeats; default 0)
//   standin-record.txt     appended per run: "cmdline=<its command line>"
//   standin-runs.txt       the number of runs so far
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char g_dir[MAX_PATH];

void Beside(const char* name, char* out, size_t size) {
  std::snprintf(out, size, "%s\\%s", g_dir, name);
}

int NextRun() {
  char path[MAX_PATH];
  Beside("standin-runs.txt", path, sizeof path);
  int runs = 0;
  if (FILE* f = std::fopen(path, "r")) {
    if (std::fscanf(f, "%d", &runs) != 1) runs = 0;
    std::fclose(f);
  }
  ++runs;
  if (FILE* f = std::fopen(path, "w")) {
    std::fprintf(f, "%d\n", runs);
    std::fclose(f);
  }
  return runs;
}

unsigned long ExitCodeForRun(int run) {
  char path[MAX_PATH];
  Beside("standin-exitcodes.txt", path, sizeof path);
  unsigned long code = 0;
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return 0;
  long long value;
  for (int i = 1; i <= run && std::fscanf(f, "%lld", &value) == 1; ++i) {
    code = static_cast<unsigned long>(value);
  }
  std::fclose(f);
  return code;
}

}  // namespace

int main() {
  GetModuleFileNameA(nullptr, g_dir, sizeof g_dir);
  if (char* slash = std::strrchr(g_dir, '\\')) *slash = '\0';
  int run = NextRun();

  char path[MAX_PATH];
  Beside("standin-record.txt", path, sizeof path);
  if (FILE* f = std::fopen(path, "ab")) {
    std::fprintf(f, "cmdline=%s\n", GetCommandLineA());
    std::fclose(f);
  }
  ExitProcess(ExitCodeForRun(run));
}
