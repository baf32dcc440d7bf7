#!/usr/bin/env bash
# Sets everything up and runs every test: the portable core natively under
# AddressSanitizer and UndefinedBehaviorSanitizer, a short run of every fuzz
# target, the core and Win32 tests under Wine, and the end-to-end scenarios.
# KOVA_FUZZ_SECONDS sets the fuzzing time per target (default 10).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

echo "== host: portable core with sanitizers"
cmake --preset host >/dev/null
cmake --build --preset host -j2
ctest --preset host

echo "== fuzz: every target for ${KOVA_FUZZ_SECONDS:-10} s"
scripts/fuzz.sh "${KOVA_FUZZ_SECONDS:-10}"

echo "== win32: core and Win32 tests under Wine"
scripts/build.sh
(. scripts/wine-env.sh; kova_wine_prefix)
ctest --preset win32

echo "== end to end: the real exe under Wine"
cd tests/e2e
exec /usr/bin/python3 -m pytest -q -p no:cacheprovider
