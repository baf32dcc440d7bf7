# Sourced by the scripts that run Wine: one project-local prefix per
# architecture, quiet, no Mono/Gecko prompts. KOVA_ARCH (i686, the default, or
# x86_64) picks the Wine side; KOVA_WINEPREFIX names another prefix of that
# architecture (the end-to-end tests give each scenario a copy of one).
#
# i686 runs through the `wine` wrapper in a 32-bit prefix. x86_64 names the
# 64-bit loader and server explicitly: the /usr/bin/wine wrapper prefers the
# 32-bit loader whenever wine32 is installed, and on a machine that cannot
# execute 32-bit code that loader fails at once.
KOVA_ROOT=${KOVA_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
KOVA_ARCH=${KOVA_ARCH:-i686}
case "$KOVA_ARCH" in
  i686)
    export WINEARCH=win32
    KOVA_WINE=wine
    KOVA_WINESERVER=wineserver
    ;;
  x86_64)
    export WINEARCH=win64
    export WINELOADER=/usr/lib/wine/wine64
    export WINESERVER=/usr/lib/wine/wineserver64
    KOVA_WINE=$WINELOADER
    KOVA_WINESERVER=$WINESERVER
    ;;
  *)
    echo "wine-env.sh: KOVA_ARCH must be i686 or x86_64, not '$KOVA_ARCH'" >&2
    return 1
    ;;
esac
export KOVA_ARCH KOVA_WINE KOVA_WINESERVER
export WINEPREFIX=${KOVA_WINEPREFIX:-$KOVA_ROOT/build/wine/$KOVA_ARCH/prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# A Linux TMPDIR leaks into Wine and can break it; the Windows side gets its own.
unset TMPDIR
unset DISPLAY

# Creates the prefix once (about 10 s) and starts a persistent wineserver so
# that each later program start costs tens of milliseconds.
kova_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    local lock="$WINEPREFIX.lock"
    (
      flock 9
      if [ ! -f "$WINEPREFIX/system.reg" ]; then
        # A 64-bit prefix reports a failure about syswow64\rundll32.exe when
        # there is no 32-bit side; the prefix is complete all the same.
        "$KOVA_WINE" wineboot -i >/dev/null 2>&1 || true
        "$KOVA_WINESERVER" -w
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
          echo "wine-env.sh: could not create the $KOVA_ARCH prefix $WINEPREFIX" >&2
          exit 1
        fi
      fi
    ) 9>"$lock" || return 1
  fi
  "$KOVA_WINESERVER" -p >/dev/null 2>&1 || true
  # The first program started in a prefix also starts Wine's background
  # services, which inherit its standard output. Start them here, on no pipe,
  # so that a later program run under a pipe (ctest captures test output)
  # does not leave that pipe open forever.
  "$KOVA_WINE" cmd /c exit >/dev/null 2>&1 </dev/null || true
}
