#include "platform/win32_test_support.h"

#include <cstdio>
#include <cstdlib>

#include "platform/os_seam.h"

namespace kova {
namespace test {

namespace {

FatalRecorder* g_recorder = nullptr;

int WINAPI RecordMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT style) {
  ++g_recorder->boxes;
  g_recorder->text = text != nullptr ? text : "";
  g_recorder->caption = caption != nullptr ? caption : "";
  g_recorder->style = style;
  return IDOK;
}

void WINAPI JumpInsteadOfExit(UINT code) {
  g_recorder->exited = true;
  g_recorder->exit_code = code;
  std::longjmp(g_recorder->jump, 1);
}

}  // namespace

FatalRecorder::FatalRecorder() {
  if (g_recorder != nullptr) std::abort();
  g_recorder = this;
  Os().MessageBoxA = RecordMessageBox;
  Os().ExitProcess = JumpInsteadOfExit;
}

FatalRecorder::~FatalRecorder() {
  Os().MessageBoxA = RealOs().MessageBoxA;
  Os().ExitProcess = RealOs().ExitProcess;
  g_recorder = nullptr;
}

ScratchFolder::ScratchFolder() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  static int counter = 0;
  char name[MAX_PATH];
  std::snprintf(name, sizeof name, "%skova-test-%lu-%d", temp, GetCurrentProcessId(), ++counter);
  path_ = name;
  RemoveTree(path_);
  CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  bytes->clear();
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes->append(chunk, n);
  std::fclose(f);
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::string SystemDirectory() {
  char dir[MAX_PATH];
  GetSystemDirectoryA(dir, sizeof dir);
  return dir;
}

}  // namespace test
}  // namespace kova
