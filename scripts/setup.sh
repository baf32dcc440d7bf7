#!/usr/bin/env bash
# Installs everything the project needs on a fresh Debian 12 machine (as root):
# both cross compilers (the i686 product, the x86-64 test vehicle), Wine for
# each side, and the tools the tests use. 32-bit Wine (wine32:i386) is only
# installed where this machine can execute 32-bit code.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/arch.sh
packages=(
  g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine64 wixl msitools
  cmake ninja-build clang libclang-rt-14-dev googletest binutils
  python3 python3-pytest python3-pytest-rerunfailures python3-pefile python3-olefile
  xvfb xdotool imagemagick
  osslsigncode openssl
)
wants_i386=0
if kova_can_run_32bit 2>/dev/null; then
  packages+=(wine32:i386)
  wants_i386=1
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ $wants_i386 = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # A mirror caught mid-sync fails a list now and then (seen for the i386
  # security list): then the i386 packages cannot match their amd64 halves and
  # the install fails. Try again after a pause; when the 32-bit side still
  # cannot be installed, install the rest, and the Windows tiers run on
  # x86-64 (scripts/arch.sh checks that 32-bit Wine is there).
  installed=0
  for attempt in 1 2 3; do
    apt-get update -qq || echo "setup: apt-get update reported errors (attempt $attempt)"
    if DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null; then
      installed=1
      break
    fi
    [ $attempt = 3 ] || sleep 20
  done
  if [ $installed = 0 ] && [ $wants_i386 = 1 ]; then
    echo "setup: 32-bit Wine could not be installed; going on without it"
    rest=()
    for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${rest[@]}" >/dev/null
    installed=1
  fi
  [ $installed = 1 ]
fi
echo "setup: all packages present"
