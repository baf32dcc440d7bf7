// Loads a library by the name given, as a careless program would; exits 0
// when it loaded. The end-to-end tests use it to show that a planted canary
// is picked up by a bare-name load, so its absence elsewhere means something.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  return LoadLibraryA(argv[1]) != nullptr ? 0 : 1;
}
