// The text of the fatal file-error box: "<label> failed with error <code>: <system text>".
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova {

// Bytes the message needs: both texts plus 40 for the fixed words, the number and the terminator.
size_t FatalMessageSize(const char* label, const char* system_text);

// Formats into out[cap]; a null system text counts as empty. False when cut.
bool FormatFatalMessage(char* out, size_t cap, const char* label, int32_t error_code,
                        const char* system_text);

}  // namespace kova
