#!/usr/bin/env bash
# Proves the product reproducible: builds it once more from a fresh clone of
# HEAD in another folder, at another time, and compares it byte for byte with
# build/win32's (or, when the working tree differs from HEAD, with a second
# fresh clone's). Only the product target is built, so it costs about half a
# minute.
set -euo pipefail
cd "$(dirname "$0")/.."
product=bin/krt-1.6.0_07-windows-i586.exe
work=$(mktemp -d /tmp/kova-repro-XXXXXX)
trap 'rm -rf "$work"' EXIT

build_clone() {
  git clone -q "$PWD" "$1"
  (cd "$1" && cmake --preset win32 >/dev/null && cmake --build --preset win32 --target krt_bootstrapper >/dev/null)
}

start=$(date +%s)
if [ -z "$(git status --porcelain)" ] && [ -f "build/win32/$product" ]; then
  first="build/win32/$product"
else
  echo "reproducible: the working tree differs from HEAD; comparing two builds of HEAD"
  build_clone "$work/first"
  first="$work/first/build/win32/$product"
fi
build_clone "$work/second"
second="$work/second/build/win32/$product"
if cmp -s "$first" "$second"; then
  echo "reproducible: two builds in two folders are byte-identical ($(sha256sum <"$second" | cut -c1-16)..., $(( $(date +%s) - start )) s)"
else
  echo "reproducible: FAILED, the builds differ:" >&2
  cmp -l "$first" "$second" | head -5 >&2
  exit 1
fi
