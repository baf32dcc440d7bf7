"""End-to-end scenarios: the real bootstrapper under Wine, each scenario in its
own copy of the project's Wine prefix, with a persistent wineserver per copy."""
import itertools
import os
import pwd
import shutil
import socket
import subprocess
import sys
import warnings
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tools"))
from simulator import Simulator  # noqa: E402
import wine_arch  # noqa: E402

ROOT = wine_arch.ROOT
ARCH = wine_arch.ARCH
BUILD = wine_arch.BUILD
BIN = BUILD / "bin"
# A prefix that only ever gets copied, so nothing a test run leaves behind
# (as the Win32 tests may in the build's prefix) reaches a scenario.
TEMPLATE_PREFIX = Path(os.environ.get("KOVA_TEMPLATE_PREFIX",
                                      wine_arch.WINE_DIR / "e2e-template"))

# What depends on the architecture under test: the architecture text the
# system reports (a 64-bit prefix reports amd64), and where the 32-bit sample
# package's files and registry values land (a 64-bit system keeps them in its
# 32-bit view: "Program Files (x86)" and Wow6432Node).
NATIVE_ARCH_TEXT = "amd64" if ARCH == "x86_64" else "i586"
PACKAGE_REG_VIEW = ("/reg:32",) if ARCH == "x86_64" else ()
PACKAGE_PROGRAM_FILES = "Program Files (x86)" if ARCH == "x86_64" else "Program Files"

PRODUCT = "krt-1.6.0_07-windows-i586.exe"
PACKAGE_REL = "AppData/LocalLow/Orvo/Kova/krt1.6.0_07/krt1.6.0_07.msi"
INSTALLER_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Installer"
RUNTIME_KEY = r"HKLM\SOFTWARE\KovaSoft\Kova Runtime Environment\1.6.0_07"
VENDOR_KEY = r"HKLM\Software\KovaSoft"
POLICY_KEY = r"HKLM\SOFTWARE\KovaSoft\Kova Update\Policy"


def to_signed(code):
    return code - (1 << 32) if code >= 1 << 31 else code


def windows_path(path):
    """The Z: drive path Wine gives a Linux path."""
    return "Z:" + str(path).replace("/", "\\")


# Now and then Wine loses a process while starting it: the program's own code
# never runs, and the start fails with ERROR_INTERNAL_ERROR (the child ended
# before its loader was done) or ends before the tool prints a word. Seen three
# times in some 6,000 starts over nine runs of the scenarios, never in 3,800
# starts of a loop that ran the product and reg in one prefix.
# Such starts are repeated, up to this many attempts, each one reported as a
# warning; a program that fails the same way every time still fails its test.
START_ATTEMPTS = 3
WINE_LOST_THE_CHILD = "error 1359"
REG_NOT_FOUND = "reg: Unable to find the specified registry"


def closed_loopback_port():
    """A loopback port nothing listens on (bound once, then released)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Wine:
    """One isolated prefix: run programs, read and write its registry and files."""

    def __init__(self, prefix, workdir):
        self.prefix = Path(prefix)
        self.workdir = Path(workdir)
        self.env = wine_arch.wine_env(self.prefix)
        # Every vendor host name goes to a loopback proxy: a closed port unless a
        # scenario brings the simulator, so no run ever looks further than this machine.
        self.env["http_proxy"] = f"http://127.0.0.1:{closed_loopback_port()}"
        self.runs = 0
        # Names for each run's files, unique even when scenarios run programs
        # from several threads at once.
        self._ids = itertools.count(1)
        subprocess.run([wine_arch.WINESERVER, "-p"], env=self.env, check=True)

    def close(self):
        subprocess.run([wine_arch.WINESERVER, "-k"], env=self.env)
        subprocess.run([wine_arch.WINESERVER, "-w"], env=self.env)

    @property
    def c_drive(self):
        return self.prefix / "drive_c"

    @property
    def user_folder(self):
        users = self.c_drive / "users"
        return users / pwd.getpwuid(os.getuid()).pw_name

    @property
    def package_file(self):
        return self.user_folder / PACKAGE_REL

    @property
    def windows_package_file(self):
        """The package file's path as the bootstrapper names it."""
        return r"C:\users" + "\\" + self.user_folder.name + "\\" + PACKAGE_REL.replace("/", "\\")

    def wine(self, args, extra_env=None, timeout=120):
        """Runs wine with its output in files (never a pipe: Wine's desktop
        process would keep it open). Returns (exit status, stdout, stderr)."""
        self.runs += 1
        n = next(self._ids)
        out = self.workdir / f"wine-{n}.out"
        err = self.workdir / f"wine-{n}.err"
        env = dict(self.env)
        env.update(extra_env or {})
        with open(out, "wb") as o, open(err, "wb") as e:
            status = subprocess.run([wine_arch.WINE, *args], env=env, stdout=o, stderr=e,
                                    stdin=subprocess.DEVNULL, timeout=timeout).returncode
        return status, out.read_text(errors="replace"), err.read_text(errors="replace")

    def wine_again_if_lost(self, args, lost, extra_env=None, timeout=120):
        """self.wine(args), started again while lost(status, stdout) says Wine
        lost the start, up to START_ATTEMPTS runs in all, each repeat reported
        as a warning. Only for runs that may be repeated. Returns the last
        run's (exit status, stdout, stderr)."""
        for attempt in range(1, START_ATTEMPTS + 1):
            status, out, err = self.wine(args, extra_env=extra_env, timeout=timeout)
            if attempt == START_ATTEMPTS or not lost(status, out):
                return status, out, err
            warnings.warn(f"Wine lost a process start (attempt {attempt}), starting it again: "
                          f"{Path(args[0]).name} {args[1:2]}: exit {status} {out[-200:]!r} "
                          f"{err[-200:]!r}")

    def run_exe(self, exe, args="", windows_env=None, extra_env=None, timeout=120):
        """Runs exe through the launcher and returns its full exit code, signed.
        args is the raw command-line tail, exactly as Windows gets it."""
        n = next(self._ids)
        result = self.workdir / f"exit-{n}.txt"
        launcher = [str(BIN / "launcher.exe")]
        for name, value in (windows_env or {}).items():
            launcher += ["--env", f"{name}={value}"]
        cmdline = f'"{windows_path(exe)}"' + (f" {args}" if args else "")
        cmdline_file = self.workdir / f"cmdline-{n}.txt"
        cmdline_file.write_bytes(cmdline.encode("latin-1"))
        def read_result():
            """The result file's lines and its first line, stripped ("" when none)."""
            lines = result.read_text().splitlines() if result.exists() else []
            return lines, lines[0].strip() if lines else ""

        # Only a start that Wine itself lost is run again, never one the
        # program saw: no result file at all (the launcher never ran), or the
        # child gone before its loader finished (it never reached its entry
        # point).
        status, _, err = self.wine_again_if_lost(
            [*launcher, windows_path(result), windows_path(cmdline_file)],
            lambda status, out: not result.exists() or read_result()[1] == WINE_LOST_THE_CHILD,
            extra_env=extra_env, timeout=timeout)
        self.last_stderr = err
        lines, text = read_result()
        assert text and not text.startswith("error"), f"launcher: {status} {text!r} {err[-2000:]}"
        # The benchmark's figures: "start-ms=... peak-private=..."
        self.last_figures = dict(item.split("=") for item in lines[1].split()) if len(lines) > 1 else {}
        return to_signed(int(text))

    def reg(self, args):
        """Runs Wine's `reg` tool: (exit status, stdout). A run that ends in
        anything but success or reg's own "Unable to find" is a start Wine
        lost; every reg command here may be repeated, so it is."""
        def lost(status, out):
            return status != 0 and REG_NOT_FOUND not in out

        status, out, err = self.wine_again_if_lost(["reg", *args], lost)
        if lost(status, out):
            raise AssertionError(f"reg {args}: exit {status} {out[-500:]!r} {err[-1000:]!r}")
        return status, out

    def reg_add(self, key, name, data, kind="REG_SZ"):
        status, out = self.reg(["add", key, "/v", name, "/t", kind, "/d", data, "/f"])
        assert status == 0, out

    def reg_delete(self, key, name=None):
        self.reg(["delete", key, "/f"] if name is None else ["delete", key, "/v", name, "/f"])

    def reg_query(self, key, name, view=()):
        """The value's data as `reg query` prints it, or None when missing.
        view: () for the process's own registry view, or ("/reg:32",)."""
        status, out = self.reg(["query", key, "/v", name, *view])
        if status != 0:
            return None
        for line in out.splitlines():
            parts = line.strip().split(None, 2)
            if parts and parts[0] == name:
                return parts[2] if len(parts) > 2 else ""
        return None

    def key_exists(self, key, view=()):
        status, _ = self.reg(["query", key, *view])
        return status == 0

    def set_version(self, version, exe=PRODUCT):
        """Windows version Wine reports to one program (winxp, win7, ...)."""
        self.reg_add(rf"HKCU\Software\Wine\AppDefaults\{exe}", "Version", version)

    def dll_override(self, dll, mode, exe=PRODUCT):
        self.reg_add(rf"HKCU\Software\Wine\AppDefaults\{exe}\DllOverrides", dll, mode)


class EngineStandIn:
    """The engine stand-in as msiexec.exe in a folder that InstallerLocation names."""

    def __init__(self, wine, exit_codes=(0,), statuses=()):
        self.folder = wine.c_drive / "standin"
        self.folder.mkdir(exist_ok=True)
        shutil.copy(BIN / "engine_standin.exe", self.folder / "msiexec.exe")
        self.script(exit_codes, statuses)
        wine.reg_add(INSTALLER_KEY, "InstallerLocation", r"C:\standin")
        self.path = r"C:\standin\msiexec.exe"

    def script(self, exit_codes, statuses=(), sleeps=()):
        """Exit codes per run (the last repeats), and per run the InstallStatus
        the "package" leaves behind (None: none) and the milliseconds it takes
        after recording (None: none)."""
        (self.folder / "standin-exitcodes.txt").write_text("".join(f"{c}\n" for c in exit_codes))
        for name, lines in (("status", statuses), ("sleep", sleeps)):
            (self.folder / f"standin-{name}.txt").write_text(
                "".join(f"{'-' if s is None else s}\n" for s in lines))

    def runs(self):
        """Per engine run: a dict of what it recorded (cmdline, package,
        Country, PostStatusUrl). The command line is the wide one in UTF-8; the
        Policy values are their bytes as stored."""
        record = self.folder / "standin-record.txt"
        if not record.exists():
            return []
        runs = []
        for line in record.read_bytes().decode("latin-1").split("\n"):
            key, sep, value = line.partition("=")
            if not sep:
                continue
            if key == "cmdline":
                runs.append({})
                value = value.encode("latin-1").decode("utf-8")
            runs[-1][key] = None if value == "<missing>" else value
        return runs

    def command_lines(self):
        return [run["cmdline"] for run in self.runs()]

    def start_times(self):
        """Per engine run, the wall clock in Unix milliseconds at its start."""
        starts = self.folder / "standin-starts.txt"
        return [int(line) for line in starts.read_text().split()] if starts.exists() else []


def package_digest(data):
    """What the stand-in records of the package it read: size and FNV-1a 64."""
    digest = 0xcbf29ce484222325
    for byte in data:
        digest = (digest ^ byte) * 0x100000001b3 & 0xFFFFFFFFFFFFFFFF
    return f"{len(data)}:{digest:016x}"


def engine_command_line(wine, standin):
    """The engine command line of an offline install with no arguments."""
    return f'"{standin.path}" /i "{wine.windows_package_file}" '


def copy_prefix(template, prefix):
    """A private copy of the template prefix. The system folders (nearly all of
    its 600 MB, or 1.2 GB with a 64-bit prefix's syswow64) are hard-linked,
    since nothing writes into their files; a test that replaces one must
    unlink it first (replace_system_file)."""
    subprocess.run(["cp", "-al", str(template), str(prefix)], check=True)
    windows = prefix / "drive_c" / "windows"
    shared = (windows / "system32", windows / "syswow64")
    for path in prefix.rglob("*"):
        if path.is_file() and not path.is_symlink() and not any(s in path.parents for s in shared):
            copy = path.with_name(path.name + ".kova-copy")
            shutil.copy2(path, copy)
            os.replace(copy, path)


def replace_system_file(wine, name, source):
    target = wine.c_drive / "windows" / "system32" / name
    target.unlink()
    shutil.copy(source, target)


@pytest.fixture(scope="session")
def template_prefix():
    if not (TEMPLATE_PREFIX / "system.reg").exists():
        wine_arch.make_prefix(TEMPLATE_PREFIX)
    # Let the template's wineserver flush the registry before it is copied.
    env = wine_arch.wine_env(TEMPLATE_PREFIX)
    subprocess.run([wine_arch.WINESERVER, "-k"], env=env)
    subprocess.run([wine_arch.WINESERVER, "-w"], env=env)
    return TEMPLATE_PREFIX


@pytest.fixture
def wine(template_prefix, tmp_path):
    prefix = tmp_path / "prefix"
    copy_prefix(template_prefix, prefix)
    w = Wine(prefix, tmp_path)
    yield w
    w.close()
    # Only the prefix goes: the scenario's logs and records stay for a look.
    shutil.rmtree(prefix, ignore_errors=True)


@pytest.fixture
def standin(wine):
    return EngineStandIn(wine)


# ---- The vendor services simulator, as WinINet's proxy (network scenarios) ----

@pytest.fixture
def simulator():
    """A running simulator; pass simulator.proxy_env as the Wine run's extra_env."""
    sim = Simulator(lifetime=900)
    sim.start()
    yield sim
    sim.stop()


@pytest.fixture
def closed_proxy_env():
    """A proxy setting that points at a loopback port nothing listens on."""
    return {"http_proxy": f"http://127.0.0.1:{closed_loopback_port()}"}


# ---- Registry helpers that cost one Wine start each ----

HIVES = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}


def reg_import(wine, keys):
    """Writes {key: {name: str or int}} (keys as "HKLM\\..."; an empty dict
    just creates the key) with one `regedit /S` of a REGEDIT4 file."""
    lines = ["REGEDIT4", ""]
    for key, values in keys.items():
        hive, _, rest = key.partition("\\")
        lines.append(f"[{HIVES.get(hive, hive)}\\{rest}]")
        for name, value in values.items():
            if isinstance(value, int):
                lines.append(f'"{name}"=dword:{value:08x}')
            else:
                text = value.replace("\\", "\\\\").replace('"', '\\"')
                lines.append(f'"{name}"="{text}"')
        lines.append("")
    path = wine.workdir / f"import-{wine.runs + 1}.reg"
    path.write_bytes("\r\n".join(lines).encode("latin-1") + b"\r\n")
    # Importing the same file again is harmless: a lost start is repeated.
    status, _, err = wine.wine_again_if_lost(["regedit", "/S", windows_path(path)],
                                             lambda status, out: status != 0)
    assert status == 0, err


def reg_tree(wine, key):
    """The key and every key below it with their values, from one
    `reg query /s`: {key path in lower case ("hklm\\..."): {name: (type, data
    as printed)}}; {} when the key is missing."""
    status, out = wine.reg(["query", key, "/s"])
    if status != 0:
        return {}
    long_names = {v: k for k, v in HIVES.items()}
    tree, current = {}, key.lower()
    for line in out.splitlines():
        if line.startswith("    ") and line.strip():
            name, kind, *data = line[4:].split("    ", 2)
            tree.setdefault(current, {})[name] = (kind, data[0] if data else "")
        elif line.strip():
            hive, _, rest = line.strip().partition("\\")
            current = f"{long_names.get(hive, hive)}\\{rest}".lower()
            tree.setdefault(current, {})
    return tree


# The scenarios that also run against the i686 exe on a machine that cannot
# execute 32-bit code (in a guest under emulation, where each costs seconds):
# those where only 32 bits can break something, such as a calling convention
# on a function looked up at run time, a structure's layout, the finished
# image's headers, or the registry view the real msiexec writes in.
I686 = pytest.mark.i686


def pytest_configure(config):
    config.addinivalue_line("markers", "i686: also run against the i686 exe in the guest tier")


def pytest_report_header(config):
    return wine_arch.arch_line()
