// FileHandle: owns one open file handle, or none, and closes it through the
// OS seam on every way out, like RegistryKey and SystemLibrary do for keys and
// libraries.
#pragma once

#include <windows.h>

namespace kova {

class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  HANDLE Get() const { return handle_; }
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Closes the handle held, if any, and holds handle instead.
  void Reset(HANDLE handle);
  // Closes the handle held now. Returns CloseHandle's result, or TRUE when
  // none was held; the holder is empty afterwards either way.
  BOOL Close();

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace kova
