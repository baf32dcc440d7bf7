// A second process of the same user that tries to change the package while
// the bootstrapper holds it: tamper.exe <file> <result file>. It tries, in
// this order, to open the file for writing (and write to it), to replace it
// by a move, and to delete it, and writes one line per attempt to the result
// file: "write=<0 or the error>", "replace=...", "delete=...".
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const char* target = argv[1];
  FILE* out = std::fopen(argv[2], "w");
  if (out == nullptr) return 2;

  DWORD error = 0;
  HANDLE file = CreateFileA(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                            FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError();
  } else {
    DWORD written = 0;
    if (!WriteFile(file, "EVIL", 4, &written, nullptr)) error = GetLastError();
    CloseHandle(file);
  }
  std::fprintf(out, "write=%lu\n", static_cast<unsigned long>(error));

  char replacement[MAX_PATH];
  std::snprintf(replacement, sizeof replacement, "%s.evil", argv[2]);
  if (FILE* evil = std::fopen(replacement, "wb")) {
    std::fputs("EVIL PACKAGE", evil);
    std::fclose(evil);
  }
  error = MoveFileExA(replacement, target, MOVEFILE_REPLACE_EXISTING) ? 0 : GetLastError();
  std::fprintf(out, "replace=%lu\n", static_cast<unsigned long>(error));

  error = DeleteFileA(target) ? 0 : GetLastError();
  std::fprintf(out, "delete=%lu\n", static_cast<unsigned long>(error));
  std::fclose(out);
  return 0;
}
