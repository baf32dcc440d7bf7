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
if kova_can_run_32bit 2>/dev/null; then
  packages+=(wine32:i386)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
# The 32-bit side is installed on its own: a mirror caught mid-sync fails a
# list now and then (seen for the i386 security list), and then the i386
# packages cannot match their amd64 halves. Without it the Windows tiers run
# on x86-64 (scripts/arch.sh checks that 32-bit Wine is there).
install() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null
}
rest=()
wine32_missing=0
for p in "${missing[@]}"; do
  if [ "$p" = wine32:i386 ]; then wine32_missing=1; else rest+=("$p"); fi
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ $wine32_missing = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq || echo "setup: apt-get update reported errors; installing with the lists it has"
fi
if [ ${#rest[@]} -gt 0 ] && ! install "${rest[@]}"; then
  sleep 20
  apt-get update -qq || true
  install "${rest[@]}"
fi
if [ $wine32_missing = 1 ] && ! install wine32:i386; then
  echo "setup: 32-bit Wine could not be installed here (the first line of a test run says where the Windows tiers run)"
fi
echo "setup: all packages present"
