#!/usr/bin/env bash
# Sets everything up, builds, and photographs the two message boxes a user can
# meet (engine too old; extraction failure) under Xvfb into docs/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/arch.sh
kova_prepare_windows
exec /usr/bin/python3 scripts/screenshots.py
