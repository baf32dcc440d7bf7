#!/usr/bin/env bash
# Builds with one Windows preset: win32 (the i686 product, the default) or
# win64 (the same targets for x86-64). Further arguments name targets.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-win32}
shift || true
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j2 "${targets[@]}"
