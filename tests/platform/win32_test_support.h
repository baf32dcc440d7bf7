// Shared helpers of the Win32 tests: a scratch folder, file reading, and the
// recorder that stands in for the fatal box and the process exit.
#pragma once

#include <windows.h>

#include <csetjmp>
#include <string>

namespace kova {
namespace test {

// A fresh folder under the Windows temporary folder, removed with its files at the end.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

bool ReadWholeFile(const std::string& path, std::string* bytes);
bool WriteWholeFile(const std::string& path, const std::string& bytes);
void RemoveTree(const std::string& path);

// The system directory, such as "C:\windows\system32".
std::string SystemDirectory();

// Records MessageBoxA calls and turns ExitProcess into a jump back to the test:
//   FatalRecorder rec;
//   if (setjmp(rec.jump) == 0) { CodeThatMayEndTheProcess(); }
//   EXPECT_EQ(rec.exit_code, 5u);
struct FatalRecorder {
  FatalRecorder();
  ~FatalRecorder();
  std::jmp_buf jump;
  bool exited = false;
  UINT exit_code = 0;
  int boxes = 0;
  std::string text;
  std::string caption;
  UINT style = 0;
};

}  // namespace test
}  // namespace kova
