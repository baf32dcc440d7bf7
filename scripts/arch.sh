# Sourced: chooses the architecture the Windows test tiers run on.
# Some kernels refuse every 32-bit x86 program ("Exec format error"), and then
# 32-bit Wine cannot start at all; there the same sources, built for x86-64,
# run under 64-bit Wine. The shipped product is the i686 exe either way.
#
# kova_pick_arch sets KOVA_ARCH (i686 or x86_64) and KOVA_ARCH_REASON, and
# honours KOVA_TEST_ARCH=i686|x86_64; it returns 1 with a message when the
# forced choice cannot run here. Where 32-bit code runs but 32-bit Wine could
# not be installed, a caller that sets KOVA_ALLOW_I686_ROOT=1 (the test
# script) gets i686 with KOVA_I686_ROOT=1: its Windows tiers then run in the
# root of scripts/i686_root.sh; every other caller gets x86_64. Where no
# 32-bit code runs, the test script adds an i686 tier in a guest under
# emulation (scripts/i686_guest.sh).

# True when this machine can execute a 32-bit x86 program: assembles and runs
# one that only exits (a few milliseconds). KOVA_NO_32BIT=1 makes a machine
# that can behave as one that cannot (to try the i686 guest tier there).
kova_can_run_32bit() {
  local dir status=1
  [ "${KOVA_NO_32BIT:-0}" != 1 ] || return 1
  dir=$(mktemp -d)
  printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$dir/t.s"
  if as --32 -o "$dir/t.o" "$dir/t.s" 2>/dev/null && ld -m elf_i386 -o "$dir/t" "$dir/t.o" 2>/dev/null; then
    "$dir/t" >/dev/null 2>&1 && status=0
  fi
  rm -rf "$dir"
  return $status
}

# True when 32-bit Wine (wine32:i386) is installed.
kova_has_wine32() {
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed"
}

kova_pick_arch() {
  KOVA_I686_ROOT=0
  case "${KOVA_TEST_ARCH:-}" in
    i686)
      if ! kova_can_run_32bit; then
        echo "KOVA_TEST_ARCH=i686, but this machine cannot execute 32-bit code" >&2
        return 1
      fi
      KOVA_ARCH=i686 KOVA_ARCH_REASON="forced by KOVA_TEST_ARCH"
      if ! kova_has_wine32 && [ "${KOVA_ALLOW_I686_ROOT:-0}" = 1 ]; then KOVA_I686_ROOT=1; fi ;;
    x86_64)
      KOVA_ARCH=x86_64 KOVA_ARCH_REASON="forced by KOVA_TEST_ARCH" ;;
    "")
      if kova_can_run_32bit && kova_has_wine32; then
        KOVA_ARCH=i686 KOVA_ARCH_REASON="this machine can execute 32-bit code"
      elif kova_can_run_32bit && [ "${KOVA_ALLOW_I686_ROOT:-0}" = 1 ]; then
        KOVA_ARCH=i686 KOVA_I686_ROOT=1
        KOVA_ARCH_REASON="32-bit Wine could not be installed here, so it runs in a Debian root of its own (scripts/i686_root.sh)"
      elif kova_can_run_32bit; then
        KOVA_ARCH=x86_64 KOVA_ARCH_REASON="32-bit Wine could not be installed here"
      else
        KOVA_ARCH=x86_64 KOVA_ARCH_REASON="this machine cannot execute 32-bit code"
      fi ;;
    *)
      echo "KOVA_TEST_ARCH must be i686 or x86_64, not '$KOVA_TEST_ARCH'" >&2
      return 1 ;;
  esac
  export KOVA_ARCH KOVA_ARCH_REASON KOVA_I686_ROOT
}

# The build preset of an architecture.
kova_preset() {
  case "$1" in i686) echo win32 ;; x86_64) echo win64 ;; esac
}

# For the scripts that run the product: sets everything up, picks the
# architecture and builds its preset (quietly).
kova_prepare_windows() {
  scripts/setup.sh
  kova_pick_arch
  scripts/build.sh "$(kova_preset "$KOVA_ARCH")" >/dev/null
}
