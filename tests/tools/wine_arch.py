"""The Wine side the Windows test tiers run on, shared by the end-to-end
tests, the demo and the benchmark: which architecture (KOVA_ARCH, or the
choice scripts/arch.sh makes), its build folder, its prefixes, and how to
start Wine and its server for it."""
import os
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def _pick():
    if os.environ.get("KOVA_ARCH") in ("i686", "x86_64"):
        return os.environ["KOVA_ARCH"], os.environ.get("KOVA_ARCH_REASON", "set by KOVA_ARCH")
    out = subprocess.run(
        ["bash", "-c", '. "$0" && kova_pick_arch && echo "$KOVA_ARCH" && echo "$KOVA_ARCH_REASON"',
         str(ROOT / "scripts" / "arch.sh")],
        capture_output=True, text=True)
    if out.returncode != 0:
        raise SystemExit(out.stderr.strip() or "scripts/arch.sh failed")
    arch, reason = out.stdout.splitlines()[:2]
    return arch, reason


ARCH, ARCH_REASON = _pick()
PRESET = {"i686": "win32", "x86_64": "win64"}[ARCH]
BUILD = Path(os.environ.get("KOVA_BUILD_DIR", ROOT / "build" / PRESET))
WINE_DIR = ROOT / "build" / "wine" / ARCH

if ARCH == "i686":
    WINEARCH = "win32"
    WINE = "wine"
    WINESERVER = "wineserver"
    _LOADER_ENV = {}
else:
    # The /usr/bin/wine wrapper prefers the 32-bit loader whenever wine32 is
    # installed; name the 64-bit loader and server explicitly.
    WINEARCH = "win64"
    WINE = "/usr/lib/wine/wine64"
    WINESERVER = "/usr/lib/wine/wineserver64"
    _LOADER_ENV = {"WINELOADER": WINE, "WINESERVER": WINESERVER}


def arch_line():
    """The line every run prints: which architecture the Windows tiers use, and why."""
    return f"Windows tiers on {ARCH}: {ARCH_REASON}"


def wine_env(prefix, base=None):
    """An environment for Wine in prefix: quiet, no Mono/Gecko prompts, no
    Linux TMPDIR (it can break Wine) and no display."""
    env = {k: v for k, v in (base if base is not None else os.environ).items()
           if k not in ("TMPDIR", "DISPLAY")}
    env.update(WINEPREFIX=str(prefix), WINEARCH=WINEARCH, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=", KOVA_ARCH=ARCH, **_LOADER_ENV)
    return env


def make_prefix(prefix):
    """Creates prefix once (scripts/wine-env.sh) with a persistent server."""
    subprocess.run(["bash", "-c", '. "$0" && kova_wine_prefix', str(ROOT / "scripts" / "wine-env.sh")],
                   env=dict(os.environ, KOVA_ARCH=ARCH, KOVA_WINEPREFIX=str(prefix)), check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
