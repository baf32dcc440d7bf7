# Sourced by the scripts that run Wine: one project-local 32-bit prefix, quiet,
# no Mono/Gecko prompts. KOVA_WINEPREFIX names another prefix (the end-to-end
# tests give each scenario a copy of this one).
KOVA_ROOT=${KOVA_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEARCH=win32
export WINEPREFIX=${KOVA_WINEPREFIX:-$KOVA_ROOT/build/wine/prefix}
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
        wineboot -i >/dev/null 2>&1
        wineserver -w
      fi
    ) 9>"$lock"
  fi
  wineserver -p >/dev/null 2>&1 || true
  # The first program started in a prefix also starts Wine's background
  # services, which inherit its standard output. Start them here, on no pipe,
  # so that a later program run under a pipe (ctest captures test output)
  # does not leave that pipe open forever.
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}
