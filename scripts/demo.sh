#!/usr/bin/env bash
# Sets everything up, builds the bootstrapper with the sample package, runs it
# under Wine with Wine's own msiexec, and tells what happened.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh >/dev/null
(export KOVA_WINEPREFIX=$PWD/build/wine/e2e-template; . scripts/wine-env.sh; kova_wine_prefix)
/usr/bin/python3 scripts/demo.py
