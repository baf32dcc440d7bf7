// The engine command line: the quoted msiexec path, /i, the quoted package
// path, the transform choice for languages other than English, and the
// argument text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bootstrap/arguments.h"
#include "product/product.h"

namespace kova {

constexpr size_t kCommandLineSize = 1024;  // bytes, terminator included

// Fills out[cap]. When the whole line does not fit, trailing passed-on
// arguments are left out whole (see ComposeArgumentText), so the engine never
// gets a cut argument. Returns false, with out emptied, only when not even
// the paths and the transform fit: the engine is never started with a cut path.
bool FormatCommandLine(char* out, size_t cap, const char* msiexec_path, const char* package_path,
                       uint16_t transform_language, const ArgumentText& args);

}  // namespace kova
