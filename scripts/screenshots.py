#!/usr/bin/python3
"""Pictures of the two message boxes a user can meet, shown for real under
Xvfb and written as PNG files into docs/:

  docs/engine-too-old.png      the engine message (exit -2)
  docs/extraction-failed.png   the fatal file-error box (here error 5)

Each runs the product in a fresh copy of the project's Wine prefix; the box is
found by its window class (the exe's name), photographed, and dismissed with
Return. Run through scripts/screenshots.sh, which sets everything up."""
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tests" / "tools"))
import conftest  # noqa: E402  (the end-to-end harness: Wine, EngineStandIn, copy_prefix)
import wine_arch  # noqa: E402

DISPLAY = ":99"
DOCS = ROOT / "docs"


def photograph(wine, name, prepare):
    """Runs the product with prepare(wine) done first, photographs its box."""
    prepare(wine)
    env = dict(wine.env, DISPLAY=DISPLAY)
    out = open(wine.workdir / f"{name}.log", "wb")
    product = subprocess.Popen([wine_arch.WINE, str(conftest.BIN / conftest.PRODUCT)], env=env,
                               stdout=out, stderr=out, stdin=subprocess.DEVNULL)
    try:
        window = ""
        deadline = time.monotonic() + 60
        while not window and time.monotonic() < deadline:
            time.sleep(0.5)
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname",
                                    conftest.PRODUCT], env=env, capture_output=True, text=True)
            window = found.stdout.split()[0] if found.stdout.split() else ""
        if not window:
            raise SystemExit(f"{name}: no message box appeared")
        time.sleep(0.5)  # let it finish drawing
        picture = DOCS / f"{name}.png"
        subprocess.run(["import", "-window", window, str(picture)], env=env, check=True)
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=env)
        subprocess.run(["xdotool", "key", "Return"], env=env)
        product.wait(30)
        print(f"{picture.relative_to(ROOT)}: {picture.stat().st_size} bytes")
    finally:
        if product.poll() is None:
            product.kill()
        out.close()


def engine_too_old(wine):
    conftest.replace_system_file(wine, "msi.dll", conftest.BIN / "msi_stub.dll")
    wine.dll_override("msi", "native")


def extraction_failed(wine):
    wine.package_file.mkdir(parents=True)  # a folder where the file should go: error 5


def main():
    DOCS.mkdir(exist_ok=True)
    template = wine_arch.WINE_DIR / "e2e-template"
    if not (template / "system.reg").exists():
        wine_arch.make_prefix(template)
    subprocess.run([wine_arch.WINESERVER, "-k"], env=wine_arch.wine_env(template))
    subprocess.run([wine_arch.WINESERVER, "-w"], env=wine_arch.wine_env(template))
    print(wine_arch.arch_line())
    xvfb = subprocess.Popen(["Xvfb", DISPLAY, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(1)
        for name, prepare in (("engine-too-old", engine_too_old),
                              ("extraction-failed", extraction_failed)):
            with tempfile.TemporaryDirectory(prefix="kova-shot-") as work:
                prefix = Path(work) / "prefix"
                conftest.copy_prefix(template, prefix)
                wine = conftest.Wine(prefix, work)
                # Every program of the prefix on the display, from the first
                # on: Wine's desktop process keeps the display it started with.
                wine.env["DISPLAY"] = DISPLAY
                try:
                    # No window manager runs: Wine draws the frame and caption itself.
                    wine.reg_add(r"HKCU\Software\Wine\X11 Driver", "Decorated", "N")
                    conftest.EngineStandIn(wine)
                    photograph(wine, name, prepare)
                finally:
                    wine.close()
    finally:
        xvfb.terminate()
        xvfb.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main())
