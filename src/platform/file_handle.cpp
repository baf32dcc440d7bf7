#include "platform/file_handle.h"

#include "platform/os_seam.h"

namespace kova {

void FileHandle::Reset(HANDLE handle) {
  Close();
  handle_ = handle;
}

BOOL FileHandle::Close() {
  if (handle_ == INVALID_HANDLE_VALUE) return TRUE;
  const HANDLE handle = handle_;
  handle_ = INVALID_HANDLE_VALUE;
  return Os().CloseHandle(handle);
}

}  // namespace kova
