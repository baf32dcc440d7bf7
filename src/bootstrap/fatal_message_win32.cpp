// The fatal file-error box, with the system's own text for the error.
#include "bootstrap/fatal_message_win32.h"

#include "bootstrap/fatal_message.h"
#include "platform/os_seam.h"

namespace kova {

FatalError FailWithLastError(const char* label) { return FatalError{label, GetLastError()}; }

void ShowFatalError(const FatalError& error) {
  char* system_text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error.code,
                 LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&system_text), 0, nullptr);
  size_t size = FatalMessageSize(error.label, system_text);
  char* text = static_cast<char*>(LocalAlloc(LMEM_ZEROINIT, size));
  if (text != nullptr) {
    FormatFatalMessage(text, size, error.label, static_cast<int32_t>(error.code), system_text);
    Os().MessageBoxA(nullptr, text, "Error", MB_OK);
    LocalFree(text);
  }
  if (system_text != nullptr) LocalFree(system_text);
}

}  // namespace kova
