// The values of one run that one step fills and later steps read. The main
// sequence holds them and hands each step what it reads and what it writes.
#pragma once

#include <cstdint>

#include "product/product.h"

namespace kova {

// Hold one value-initialised, `ProcessState state{};`, so the texts start
// empty. (An initialiser on each text would make the compiler keep an image
// of the whole struct in the exe's data to copy from.)
struct ProcessState {
  uint16_t transform_language = kBaseTransformLanguage;  // LANGID of the package transform
  char country[3] = "YY";                 // two letters and NUL
  int32_t reporting = 0;                   // status reporting switched on by the descriptor
  int32_t descriptor_fetched = 1;          // cleared when the descriptor fetch fails
  char post_status_url[256];
  char country_lookup_url[256];
  char msiexec_path[kPathTextSize];  // a path text (UTF-8 on the NT family)
  char language_tag[64];  // the descriptor's xml:lang choice
};

}  // namespace kova
