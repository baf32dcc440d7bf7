#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's prefix of KOVA_ARCH;
# used as the cross-compiling emulator, so ctest starts every Win32 test
# through it. Wine's exit status keeps only the low 8 bits; tests that need
# the full 32-bit code read it inside Windows (tests/tools/launcher).
set -u
. "$(dirname "$0")/wine-env.sh" || exit 1
kova_wine_prefix || exit 1
# Never pipe Wine's output: the desktop process inherits it and the pipe never closes.
exec "$KOVA_WINE" "$@"
