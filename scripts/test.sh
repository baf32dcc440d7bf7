#!/usr/bin/env bash
# Sets everything up and runs every test: the portable core natively under
# AddressSanitizer and UndefinedBehaviorSanitizer, a short run of every fuzz
# target, the i686 product's static check, its signing and a second build
# that must be byte-identical, then the core and Win32 tests
# under Wine and the end-to-end scenarios, on i686 where this machine can
# execute 32-bit code (in a Debian root of its own when 32-bit Wine cannot be
# installed here: scripts/i686_root.sh), else on x86-64. Where this machine
# cannot execute 32-bit code at all, an i686 tier follows: the Win32 tests and
# the scenarios marked i686, against the i686 exe, in a guest under emulation
# (scripts/i686_guest.sh).
# KOVA_FUZZ_SECONDS sets the fuzzing time per target (default 10).
# KOVA_TEST_ARCH=i686|x86_64 forces the architecture of the Windows tiers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
. scripts/arch.sh
. scripts/i686_root.sh
. scripts/i686_guest.sh
KOVA_ALLOW_I686_ROOT=1 kova_pick_arch
if [ "$KOVA_I686_ROOT" = 1 ] && ! kova_i686_root_make; then
  KOVA_TEST_ARCH=x86_64 kova_pick_arch
  KOVA_ARCH_REASON="32-bit Wine could not be installed here, nor its own root be made"
fi
# Runs a command line of the Windows tiers: here, or in the i686 root.
windows_tier() {
  if [ "$KOVA_I686_ROOT" = 1 ]; then kova_i686_root_run "$1"; else bash -c "$1"; fi
}
arch_line="Windows tiers on $KOVA_ARCH: $KOVA_ARCH_REASON"
echo "$arch_line"

echo "== host: portable core with sanitizers"
cmake --preset host >/dev/null
cmake --build --preset host -j2
ctest --preset host

echo "== fuzz: every target for ${KOVA_FUZZ_SECONDS:-10} s"
scripts/fuzz.sh "${KOVA_FUZZ_SECONDS:-10}"

echo "== product: the i686 exe, checked statically"
if [ "$KOVA_ARCH" = i686 ]; then
  scripts/build.sh win32
else
  # Only what the static check reads; the Windows tiers use the win64 build.
  scripts/build.sh win32 krt_bootstrapper krt_nopackage
fi
/usr/bin/python3 scripts/check_product.py build/win32/bin/krt-1.6.0_07-windows-i586.exe
/usr/bin/python3 -m pytest -q -p no:cacheprovider tests/static
scripts/check_reproducible.sh

preset=$(kova_preset "$KOVA_ARCH")
echo "== $preset: core and Win32 tests under Wine ($arch_line)"
[ "$preset" = win32 ] || scripts/build.sh "$preset"
windows_tier "(. scripts/wine-env.sh && kova_wine_prefix) && ctest --preset $preset"

echo "== end to end: the real exe under Wine ($arch_line)"
cd tests/e2e
# Wine now and then loses a process it is starting (see START_ATTEMPTS in
# conftest.py). The harness starts its own programs again; a loss inside the
# product (its engine never starts) can only be met by running the scenario
# once more in a fresh prefix. Such a rerun shows as "R" and in the summary; a
# scenario that fails twice fails.
e2e="/usr/bin/python3 -m pytest -q -p no:cacheprovider --reruns 1 -rR"
# In the i686 root the scenarios' prefixes, hard-linked copies of a template
# in build/, must lie on the work tree's file system, not the root's /tmp.
[ "$KOVA_I686_ROOT" = 0 ] || e2e="$e2e --basetemp ../../build/e2e-tmp"
windows_tier "$e2e"
echo "$arch_line"

if ! kova_can_run_32bit; then
  cd ../..
  echo "== i686 guest: Win32 tests and the i686 scenarios against the i686 exe, under emulation"
  guest_start=$SECONDS
  scripts/build.sh win32
  kova_guest_make
  /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/guest
  # The scenarios' prefixes are hard-linked copies of the image's template,
  # so they lie on the guest's own disk.
  kova_guest_run "ctest --preset win32 && cd tests/e2e && $e2e -m i686 --basetemp /var/kova/e2e-tmp"
  echo "i686 guest tier: $((SECONDS - guest_start)) s (the image $(kova_guest_dir))"
fi
