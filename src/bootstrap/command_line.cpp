#include "bootstrap/command_line.h"

#include "text/bounded_text.h"

namespace kova {

namespace {

// The command line with argument_text as its arguments.
bool FormatWithArgumentText(char* out, size_t cap, const char* msiexec_path,
                            const char* package_path, uint16_t transform_language,
                            const char* argument_text) {
  if (transform_language == kBaseTransformLanguage) {
    return TextFormat(out, cap, "\"%s\" /i \"%s\" %s", msiexec_path, package_path, argument_text);
  }
  return TextFormat(out, cap, "\"%s\" /i \"%s\" TRANSFORMS=:%u %s", msiexec_path, package_path,
                    static_cast<uint32_t>(transform_language), argument_text);
}

}  // namespace

bool FormatCommandLine(char* out, size_t cap, const char* msiexec_path, const char* package_path,
                       uint16_t transform_language, const ArgumentText& args) {
  if (cap == 0) return false;
  // The line without arguments tells how much room the arguments have.
  if (!FormatWithArgumentText(out, cap, msiexec_path, package_path, transform_language, "")) {
    return false;
  }
  size_t room = cap - 1 - TextLength(out);
  char argument_text[kArgumentTextSize];
  ComposeArgumentText(args, room, argument_text, sizeof argument_text);
  return FormatWithArgumentText(out, cap, msiexec_path, package_path, transform_language,
                                argument_text);
}

}  // namespace kova
