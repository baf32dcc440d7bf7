#include "bootstrap/fatal_message.h"

#include "text/bounded_text.h"

namespace kova {

size_t FatalMessageSize(const char* label, const char* system_text) {
  return TextLength(label) + (system_text != nullptr ? TextLength(system_text) : 0) + 20 + 40;
}

bool FormatFatalMessage(char* out, size_t cap, const char* label, int32_t error_code,
                        const char* system_text) {
  // TextFormat writes a null text as an empty one.
  return TextFormat(out, cap, "Installer : Wrapper.%s failed with error %d: %s", label,
                    error_code, system_text);
}

}  // namespace kova
