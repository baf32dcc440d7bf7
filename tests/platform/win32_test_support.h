// Shared helpers of the Win32 tests: a scratch folder, file reading, registry
// keys and values, patching the test exe's own imports, and the recorder that
// stands in for the fatal box and the process exit.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

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

// The system's own GetFinalPathNameByHandleW, for fakes that alter its answer.
DWORD WINAPI RealGetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD size, DWORD flags);

// This test program's own path.
std::string ThisExe();
// Starts exe (a copy of this test program) with --gtest_filter=filter, its
// output going nowhere; it inherits this process's environment. Returns the
// process handle (the caller waits and closes it), or null.
HANDLE StartTestProcess(const std::string& exe, const std::string& filter);
// Waits for a process started so (at most a minute), closes it, and returns
// its exit code; 1 when it did not end in time.
DWORD FinishTestProcess(HANDLE process);

// The processor architecture text the system under test reports for itself:
// the i686 build runs in a 32-bit prefix (architecture 0, "i586"), the x86-64
// build in a 64-bit one (9, "amd64"). GetSystemInfo of the test process gives
// the same, since each build's process is as wide as its prefix.
constexpr const char* kNativeArchText = sizeof(void*) == 8 ? "amd64" : "i586";

// Deletes a registry key with all its subkeys and values; nothing when it is missing.
void DeleteRegistryTree(HKEY root, const char* path);
bool RegistryKeyExists(HKEY root, const char* path);

// Deletes the product's keys (HKLM Software\KovaSoft, HKCU SOFTWARE\KovaSoft)
// when made and again when gone, so a test starts clean and leaves nothing.
class CleanProductKeys {
 public:
  CleanProductKeys() { Delete(); }
  ~CleanProductKeys() { Delete(); }
  static void Delete();
};
// One value's type and bytes exactly as RegQueryValueExA reports them; false
// when the key or the value is missing.
bool ReadRegistryValue(HKEY root, const char* path, const char* name, DWORD* type,
                       std::string* data);
// Creates the key when missing and stores the first `length` bytes of data
// (all of them by default) with RegSetValueExA. Wine stores one byte more for
// a string type when the byte after the stored ones is a NUL (Windows does
// not); to store a REG_SZ truly without terminator, give data one non-zero
// byte more than length.
bool WriteRegistryValue(HKEY root, const char* path, const char* name, DWORD type,
                        const std::string& data, size_t length = std::string::npos);

// Saves one registry value (data and type) of a key under HKLM when made, and
// puts it back, or deletes it when there was none, when gone; a key it had to
// create is deleted again. Set and Delete change the value meanwhile.
class ScopedRegistryValue {
 public:
  ScopedRegistryValue(const char* key_path, const char* name);
  ~ScopedRegistryValue();
  ScopedRegistryValue(const ScopedRegistryValue&) = delete;
  ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;
  bool Opened() const { return key_ != nullptr; }
  // Stores data's bytes as they are (a terminator only when data holds one).
  bool Set(DWORD type, const std::string& data);
  void Delete();

 private:
  std::string key_path_;
  std::string name_;
  HKEY key_ = nullptr;
  bool created_key_ = false;
  bool had_value_ = false;
  DWORD saved_type_ = 0;
  std::string saved_;
};

// Records, for its lifetime, every library loaded through the seam (the path
// asked for), counts the frees and the loads without the altered search path,
// while the real libraries load. One at a time.
class LibraryRecorder {
 public:
  LibraryRecorder();
  ~LibraryRecorder();
  LibraryRecorder(const LibraryRecorder&) = delete;
  LibraryRecorder& operator=(const LibraryRecorder&) = delete;
  static void Clear();
  static std::vector<std::string> loaded;
  static int frees;
  static int other_flags;
};

// Records MessageBoxA calls instead of showing them, while it lives.
struct MessageBoxRecorder {
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  int boxes = 0;
  std::string text;
  std::string caption;
  UINT style = 0;
};

}  // namespace test
}  // namespace kova
