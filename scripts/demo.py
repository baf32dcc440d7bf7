#!/usr/bin/env python3
"""Runs the bootstrapper once under Wine in a fresh copy of the project's prefix,
with Wine's own msiexec, and tells what happened in a few plain lines."""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
BIN = ROOT / "build" / "win32" / "bin"
TEMPLATE = ROOT / "build" / "wine" / "e2e-template"
DEMO = ROOT / "build" / "wine" / "demo"
PRODUCT = "krt-1.6.0_07-windows-i586.exe"
RUNTIME_KEY = r"HKLM\SOFTWARE\KovaSoft\Kova Runtime Environment\1.6.0_07"


def zpath(path):
    return "Z:" + str(path).replace("/", "\\")


def main():
    env = {k: v for k, v in os.environ.items() if k not in ("TMPDIR", "DISPLAY")}
    env.update(WINEPREFIX=str(TEMPLATE), WINEARCH="win32", WINEDLLOVERRIDES="mscoree,mshtml=")
    subprocess.run(["wineserver", "-k"], env=env)
    subprocess.run(["wineserver", "-w"], env=env)
    shutil.rmtree(DEMO, ignore_errors=True)
    subprocess.run(["cp", "-a", str(TEMPLATE), str(DEMO)], check=True)
    env["WINEPREFIX"] = str(DEMO)
    subprocess.run(["wineserver", "-p"], env=env, check=True)
    work = DEMO.parent / "demo-run"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir()
    try:
        (work / "cmdline.txt").write_text(f'"{zpath(BIN / PRODUCT)}"')
        # +process traces the command line of every process started.
        with open(work / "stdout.txt", "wb") as out, open(work / "trace.txt", "wb") as err:
            subprocess.run(["wine", str(BIN / "launcher.exe"), zpath(work / "exit.txt"),
                            zpath(work / "cmdline.txt")],
                           env=dict(env, WINEDEBUG="-all,+process"), stdout=out, stderr=err,
                           stdin=subprocess.DEVNULL, check=False, timeout=600)
        code = int((work / "exit.txt").read_text().split()[0])
        signed = code - (1 << 32) if code >= 1 << 31 else code
        print(f"bootstrapper : {BIN / PRODUCT} ({(BIN / PRODUCT).stat().st_size} bytes)")
        print(f"exit code    : {code} (signed {signed})")

        users = DEMO / "drive_c" / "users"
        packages = list(users.glob("*/AppData/LocalLow/Orvo/Kova/krt1.6.0_07/krt1.6.0_07.msi"))
        for package in packages:
            rel = package.relative_to(DEMO / "drive_c")
            print(f"package      : C:\\{str(rel).replace('/', chr(92))} "
                  f"({package.stat().st_size} bytes)")
        if not packages:
            print("package      : not written")

        trace = (work / "trace.txt").read_text(errors="replace")
        lines = re.findall(r'CreateProcessInternalW app \(null\) cmdline L"(.*)"\s*$', trace, re.M)
        engine = [l for l in lines if "msiexec" in l.lower()]
        for line in engine:
            text = line.encode().decode("unicode_escape")
            print(f"engine       : {text}")
        if not engine:
            print("engine       : not started")

        with open(work / "reg.txt", "wb") as out:
            status = subprocess.run(["wine", "reg", "query", RUNTIME_KEY], env=env, stdout=out,
                                    stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL).returncode
        if status == 0:
            print(f"runtime key  : {RUNTIME_KEY}")
            for line in (work / "reg.txt").read_text(errors="replace").splitlines():
                if "REG_" in line:
                    print(f"               {line.strip()}")
        else:
            print(f"runtime key  : {RUNTIME_KEY} missing")
        return 0 if code == 0 else 1
    finally:
        subprocess.run(["wineserver", "-k"], env=env)


if __name__ == "__main__":
    sys.exit(main())
