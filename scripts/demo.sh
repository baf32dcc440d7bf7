#!/usr/bin/env bash
# Sets everything up, builds the bootstrapper with the sample package, runs it
# under Wine with Wine's own msiexec, and tells what happened. It runs on i686
# where this machine can execute 32-bit code, else on the x86-64 build of the
# same sources (KOVA_TEST_ARCH forces either).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/arch.sh
kova_prepare_windows
(export KOVA_WINEPREFIX=$PWD/build/wine/$KOVA_ARCH/e2e-template; . scripts/wine-env.sh && kova_wine_prefix)
/usr/bin/python3 scripts/demo.py
