#!/usr/bin/env python3
"""Runs the bootstrapper under Wine in a fresh copy of the project's prefix,
with Wine's own msiexec and the vendor services simulator as WinINet's proxy,
and tells what happened in a few plain lines: first a normal install, then
one the sample package refuses (exit 1603), which the bootstrapper reports."""
import re
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "tools"))
from simulator import Simulator  # noqa: E402
import wine_arch  # noqa: E402

BIN = wine_arch.BUILD / "bin"
TEMPLATE = wine_arch.WINE_DIR / "e2e-template"
DEMO = wine_arch.WINE_DIR / "demo"
WORK = wine_arch.WINE_DIR / "demo-run"
PRODUCT = "krt-1.6.0_07-windows-i586.exe"
RUNTIME_KEY = r"HKLM\SOFTWARE\KovaSoft\Kova Runtime Environment\1.6.0_07"
POLICY_KEY = r"HKLM\SOFTWARE\KovaSoft\Kova Update\Policy"
# The sample package is a 32-bit package: on a 64-bit system msiexec writes
# its keys in the 32-bit registry view.
PACKAGE_VIEW = ["/reg:32"] if wine_arch.ARCH == "x86_64" else []

DESCRIPTOR = ('<?xml version="1.0" encoding="UTF-8"?>\n<kova-update>\n'
              '<information version="1.0" xml:lang="en">'
              "<post-status>http://ps.kova.com/b/ss/krtdemo</post-status>"
              "<cntry-lookup>http://geo.kova.com/country</cntry-lookup>"
              "</information>\n</kova-update>\n")


def zpath(path):
    return "Z:" + str(path).replace("/", "\\")


class Demo:
    def __init__(self, env):
        self.env = env
        self.runs = 0

    def wine(self, args, extra_env=None, debug="-all"):
        self.runs += 1
        out, err = WORK / f"out-{self.runs}.txt", WORK / f"err-{self.runs}.txt"
        with open(out, "wb") as o, open(err, "wb") as e:
            subprocess.run([wine_arch.WINE, *args], env=dict(self.env, WINEDEBUG=debug, **(extra_env or {})),
                           stdout=o, stderr=e, stdin=subprocess.DEVNULL, timeout=600)
        return out.read_text(errors="replace"), err.read_text(errors="replace")

    def reg_values(self, key, view=()):
        out, _ = self.wine(["reg", "query", key, *view])
        return [line.strip() for line in out.splitlines() if "REG_" in line]

    def install(self, title, proxy, windows_env=()):
        print(f"== {title}")
        (WORK / "cmdline.txt").write_text(f'"{zpath(BIN / PRODUCT)}"')
        launcher = [str(BIN / "launcher.exe")]
        for item in windows_env:
            launcher += ["--env", item]
        # +process traces the command line of every process started.
        _, trace = self.wine([*launcher, zpath(WORK / "exit.txt"), zpath(WORK / "cmdline.txt")],
                             extra_env={"http_proxy": proxy}, debug="-all,+process")
        code = int((WORK / "exit.txt").read_text().split()[0])
        signed = code - (1 << 32) if code >= 1 << 31 else code
        print(f"exit code    : {code} (signed {signed})")
        packages = list((DEMO / "drive_c" / "users").glob(
            "*/AppData/LocalLow/Orvo/Kova/krt1.6.0_07/krt1.6.0_07.msi"))
        for package in packages:
            rel = str(package.relative_to(DEMO / "drive_c")).replace("/", "\\")
            print(f"package      : C:\\{rel} ({package.stat().st_size} bytes)")
        lines = re.findall(r'CreateProcessInternalW app \(null\) cmdline L"(.*)"\s*$', trace, re.M)
        for line in (l for l in lines if "msiexec" in l.lower()):
            print(f"engine       : {line.encode().decode('unicode_escape')}")
        return code

    def show_registry(self):
        values = self.reg_values(RUNTIME_KEY, PACKAGE_VIEW)
        view = " (32-bit view)" if PACKAGE_VIEW else ""
        print(f"runtime key  : {RUNTIME_KEY}{view}" + ("" if values else " (missing)"))
        for value in values:
            print(f"               {value}")
        print(f"policy key   : {POLICY_KEY}")
        for value in self.reg_values(POLICY_KEY):
            print(f"               {value}")


def script_vendor_services(sim):
    """The descriptor switches reporting on; the lookup answers DE; a report is welcome."""
    sim.script({"method": "GET", "body": DESCRIPTOR},
               {"method": "HEAD", "headers": {"COUNTRY": "DE"}},
               {"method": "POST", "body": "report received"})


def show_requests(sim):
    for request in sim.requests():
        print(f"vendor       : {request.request_line}")
        if request.body:
            print(f"               body: {request.body.decode('latin-1')}")


def main():
    print(wine_arch.arch_line())
    env = wine_arch.wine_env(TEMPLATE)
    subprocess.run([wine_arch.WINESERVER, "-k"], env=env)
    subprocess.run([wine_arch.WINESERVER, "-w"], env=env)
    shutil.rmtree(DEMO, ignore_errors=True)
    shutil.rmtree(WORK, ignore_errors=True)
    WORK.mkdir(parents=True)
    subprocess.run(["cp", "-a", str(TEMPLATE), str(DEMO)], check=True)
    env["WINEPREFIX"] = str(DEMO)
    subprocess.run([wine_arch.WINESERVER, "-p"], env=env, check=True)
    demo = Demo(env)
    what = ("the shipped i686 exe" if wine_arch.ARCH == "i686"
            else "the x86-64 build of the same sources, not the shipped i686 exe")
    print(f"bootstrapper : {BIN / PRODUCT} ({(BIN / PRODUCT).stat().st_size} bytes, {what})")
    try:
        with Simulator(lifetime=600) as sim:
            script_vendor_services(sim)
            first = demo.install("install, vendor services answering", sim.proxy)
            show_requests(sim)
            demo.show_registry()
            script_vendor_services(sim)
            (DEMO / "drive_c" / "demo-temp").mkdir()
            second = demo.install("install refused by the package (KOVA_FAIL=1)", sim.proxy,
                                  windows_env=["KOVA_FAIL=1", r"TMPDIR=C:\demo-temp"])
            show_requests(sim)
        log = DEMO / "drive_c" / "demo-temp" / "kusched.log"
        print(f"status log   : C:\\demo-temp\\kusched.log" + ("" if log.exists() else " (none)"))
        if log.exists():
            for line in log.read_text(errors="replace").splitlines():
                print(f"               {line}")
        return 0 if (first, second) == (0, 1603) else 1
    finally:
        subprocess.run([wine_arch.WINESERVER, "-k"], env=env)


if __name__ == "__main__":
    sys.exit(main())
