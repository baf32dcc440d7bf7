// The process entry: no window, the argument vector from the C start-up.
#include <windows.h>

#include <cstdlib>

#include "bootstrap/main_sequence.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // __argc/__argv are split from the command line by the runtime's standard
  // rules; the command-line text itself is not consulted.
  return kova::RunMainSequence(instance, __argc, __argv);
}
