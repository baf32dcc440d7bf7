// Translation of the bootstrapper's own arguments into the argument text
// handed to the installer engine.
//
// The argument text is built from pieces: one per argument passed on to the
// engine (with its blanks), then the finishing pieces " /qn" and
// " METHOD=<method> ". A piece is always taken whole or left out whole, so
// the engine never sees an argument cut in the middle. When the text (or the
// command line around it) runs out of room, trailing passed-on arguments are
// left out first: later arguments are never kept once an earlier one had to
// go, since an engine option and the value after it must not come apart. The
// finishing pieces are the bootstrapper's own choices (quiet install, install
// method) and are kept in preference to passed-on arguments.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova {

constexpr size_t kArgumentTextSize = 1024;  // bytes, terminator included

// Value-initialised (ArgumentText{}), an empty argument text.
struct ArgumentText {
  // The joined pieces, always terminated.
  char text[kArgumentTextSize];
  // End offset in text of the first n passed-on pieces at [n]: [0] is 0 for
  // none, [1] the end of the first. Each piece takes at least one byte, so
  // there are fewer pieces than bytes.
  uint16_t piece_end[kArgumentTextSize + 1];
  uint16_t piece_count;
  // A passed-on argument did not fit; every later one is left out as well.
  bool full;
  // Set by FinishArgumentText.
  bool finished;
  bool quiet;             // the silent switch was given: the engine must get "/qn"
  uint16_t method_begin;  // offset of the METHOD piece; text's length when there is none
};

// Takes argv[1] .. argv[argc - 1] in order (argv[0] is the program). Appends the
// pieces passed on to the engine to *args, sets *silent for "/s", and sets
// *transform_language for an accepted "/lang=". Returns false when an
// argument had to be left out for want of room.
bool TranslateArguments(int argc, const char* const* argv, ArgumentText* args, bool* silent,
                        uint16_t* transform_language);

// Appends " /qn" when silent is set and no kept argument carries "/qn", then
// " METHOD=<method> " when reporting is on. Trailing passed-on pieces are left
// out as far as needed to make room. Call once, after TranslateArguments.
// Returns false when anything had to be left out.
bool FinishArgumentText(ArgumentText* args, bool silent, bool reporting, const char* method);

// Writes into out[cap] the argument text cut to at most max_length
// characters at piece boundaries: the longest run of leading passed-on pieces
// that fits together with the finishing pieces (" /qn" stays present when
// the quiet choice needs it and its source was left out). Returns true when
// nothing was left out.
bool ComposeArgumentText(const ArgumentText& args, size_t max_length, char* out, size_t cap);

}  // namespace kova
