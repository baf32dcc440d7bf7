// The text of the fatal file-error box:
// "Installer : Wrapper.<label> failed with error <code>: <system text>".
// Every label names one of the wrapper's file operations ("CreateFile "), so
// the words before it are kept once, here, rather than in every label.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova {

// Bytes the message needs: both texts plus 20 for "Installer : Wrapper." and
// 40 for the other fixed words, the number and the terminator.
size_t FatalMessageSize(const char* label, const char* system_text);

// Formats into out[cap]; a null system text counts as empty. False when cut.
bool FormatFatalMessage(char* out, size_t cap, const char* label, int32_t error_code,
                        const char* system_text);

}  // namespace kova
