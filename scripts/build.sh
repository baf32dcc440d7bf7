#!/usr/bin/env bash
# Builds the product (and its Win32 tests and tools) with the win32 preset.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2
