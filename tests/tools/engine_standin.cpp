// Stands in for msiexec.exe in the end-to-end tests: put in a folder that
// InstallerLocation names, it records each run and exits with a scripted code.
//
// Files beside the stand-in:
//   standin-exitcodes.txt  exit codes for run 1, 2, ... (the last one repeats; default 0)
//   standin-status.txt     per run, a text the "package" leaves in the vendor
//                          key's InstallStatus; "-" or no line: none
//   standin-sleep.txt      per run, milliseconds to wait after recording, as
//                          a long install would ("-" or no line: none)
//   standin-record.txt     appended per run: "cmdline=<its command line>" (the
//                          wide one, in UTF-8), "package=<size>:<FNV-1a 64 in
//                          hex>" of the file named after /i as the engine opens
//                          it ("<missing>" without /i, "<error N>" when it
//                          cannot be opened), then "Country=..." and
//                          "PostStatusUrl=..." as the Policy key held them
//                          ("<missing>" when absent)
//   standin-starts.txt     appended per run: the wall clock in Unix
//                          milliseconds at its start (for the benchmark)
//   standin-runs.txt       the number of runs so far
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

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

// Line `run` (1-based) of a script file beside the stand-in; the last line
// repeats when `repeat_last`. False when there is no such line.
bool ScriptLine(const char* name, int run, bool repeat_last, char* line, size_t size) {
  char path[MAX_PATH];
  Beside(name, path, sizeof path);
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  bool found = false;
  char buffer[1024];
  for (int i = 1; std::fgets(buffer, sizeof buffer, f) != nullptr; ++i) {
    buffer[std::strcspn(buffer, "\r\n")] = '\0';
    if (i == run || (repeat_last && i < run)) {
      std::snprintf(line, size, "%s", buffer);
      found = true;
    }
    if (i >= run) break;
  }
  std::fclose(f);
  return found;
}

void RecordPolicyValue(FILE* out, HKEY policy, const char* name) {
  BYTE data[1024];
  DWORD size = sizeof data - 1;
  DWORD type = 0;
  if (policy == nullptr ||
      RegQueryValueExA(policy, name, nullptr, &type, data, &size) != ERROR_SUCCESS) {
    std::fprintf(out, "%s=<missing>\n", name);
    return;
  }
  std::fprintf(out, "%s=", name);
  std::fwrite(data, 1, size, out);  // as stored: a value without terminator shows so
  std::fprintf(out, "\n");
}

// What the engine reads: the file named by the quoted path after " /i ",
// opened as the engine opens a package (following links, other readers
// only), recorded as its size and FNV-1a 64 digest.
void RecordPackage(FILE* out, const wchar_t* command_line) {
  const wchar_t* start = std::wcsstr(command_line, L" /i \"");
  if (start != nullptr) start += 5;
  const wchar_t* end = start != nullptr ? std::wcschr(start, L'"') : nullptr;
  static wchar_t path[32768];
  if (end == nullptr || end - start >= 32768) {
    std::fprintf(out, "package=<missing>\n");
    return;
  }
  std::wmemcpy(path, start, end - start);
  path[end - start] = L'\0';
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(out, "package=<error %lu>\n", GetLastError());
    return;
  }
  unsigned long long size = 0, hash = 0xcbf29ce484222325ull;
  static unsigned char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got != 0) {
    for (DWORD i = 0; i < got; ++i) hash = (hash ^ buffer[i]) * 0x100000001b3ull;
    size += got;
  }
  CloseHandle(file);
  std::fprintf(out, "package=%llu:%016llx\n", size, hash);
}

}  // namespace

int main() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const unsigned long long start_ms =
      ((static_cast<unsigned long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime) -
       116444736000000000ull) / 10000;
  GetModuleFileNameA(nullptr, g_dir, sizeof g_dir);
  if (char* slash = std::strrchr(g_dir, '\\')) *slash = '\0';
  int run = NextRun();

  char path[MAX_PATH];
  Beside("standin-starts.txt", path, sizeof path);
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%llu\n", start_ms);
    std::fclose(f);
  }
  Beside("standin-record.txt", path, sizeof path);
  if (FILE* f = std::fopen(path, "ab")) {
    const wchar_t* command_line = GetCommandLineW();
    static char utf8[3 * 32768];
    if (WideCharToMultiByte(CP_UTF8, 0, command_line, -1, utf8, sizeof utf8, nullptr,
                            nullptr) == 0) {
      utf8[0] = '\0';
    }
    std::fprintf(f, "cmdline=%s\n", utf8);
    RecordPackage(f, command_line);
    HKEY policy = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KovaSoft\\Kova Update\\Policy", 0, KEY_READ,
                      &policy) != ERROR_SUCCESS) {
      policy = nullptr;
    }
    RecordPolicyValue(f, policy, "Country");
    RecordPolicyValue(f, policy, "PostStatusUrl");
    if (policy != nullptr) RegCloseKey(policy);
    std::fclose(f);
  }

  char status[1024];
  if (ScriptLine("standin-status.txt", run, false, status, sizeof status) &&
      std::strcmp(status, "-") != 0) {
    HKEY vendor = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\KovaSoft", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &vendor, nullptr) == ERROR_SUCCESS) {
      RegSetValueExA(vendor, "InstallStatus", 0, REG_SZ, reinterpret_cast<const BYTE*>(status),
                     static_cast<DWORD>(std::strlen(status) + 1));
      RegCloseKey(vendor);
    }
  }

  char wait[64];
  if (ScriptLine("standin-sleep.txt", run, false, wait, sizeof wait) &&
      std::strcmp(wait, "-") != 0) {
    Sleep(static_cast<DWORD>(std::strtoul(wait, nullptr, 10)));
  }

  char code[64];
  unsigned long exit_code = 0;
  if (ScriptLine("standin-exitcodes.txt", run, true, code, sizeof code)) {
    exit_code = static_cast<unsigned long>(std::strtoll(code, nullptr, 10));
  }
  ExitProcess(exit_code);
}
