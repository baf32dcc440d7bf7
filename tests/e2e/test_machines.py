"""What the machine holds when the install starts: another instance at work,
a drive too small for the package, a read-only package of an earlier run."""
import subprocess
import threading
import time

import pytest

from conftest import BIN, PACKAGE_REL, PRODUCT, engine_command_line, package_digest
from test_hardening import LOCAL_LOW, USER_SHELL_FOLDERS, sample_package
from test_install import relay_message_boxes, trace_message_boxes

ERROR_INSTALL_ALREADY_RUNNING = 1618
ERROR_DISK_FULL = 112


def test_a_second_instance_ends_with_1618_and_leaves_the_first_alone(wine, standin):
    standin.script([0], sleeps=[8000])
    first = {}
    thread = threading.Thread(target=lambda: first.update(code=wine.run_exe(BIN / PRODUCT)))
    thread.start()
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and not standin.runs():
        time.sleep(0.05)
    assert standin.runs(), "the first install's engine never started"
    second = wine.run_exe(BIN / PRODUCT, "/s", extra_env=trace_message_boxes(wine))
    boxes = relay_message_boxes(wine.last_stderr)
    # Still alive, so last_stderr is the second's, and its engine ran throughout.
    assert thread.is_alive()
    thread.join(120)
    assert (second, boxes) == (ERROR_INSTALL_ALREADY_RUNNING, [])
    runs = standin.runs()
    assert (first["code"], len(runs)) == (0, 1)
    assert runs[0]["package"] == package_digest(sample_package())


def small_drive(wine, request):
    """Drive K: on a file system with room for 4 KiB (less than the package),
    the data folder on it. Needs root, to mount."""
    mount = wine.workdir / "small"
    mount.mkdir()
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=4k", "kova-small", str(mount)],
                      capture_output=True).returncode != 0:
        pytest.skip("cannot mount a small file system here (needs root)")
    request.addfinalizer(lambda: subprocess.run(["umount", "-l", str(mount)]))
    (wine.prefix / "dosdevices" / "k:").symlink_to(mount)
    (mount / "LL").mkdir()
    wine.reg_add(USER_SHELL_FOLDERS, LOCAL_LOW, r"K:\LL")
    return mount.joinpath("LL", *PACKAGE_REL.split("/")[2:])


def read_only_leftover(wine, request):
    """An earlier run's package, read-only: Wine shows a file without Unix
    write bits so (and refuses to delete it, even as root)."""
    wine.package_file.parent.mkdir(parents=True)
    wine.package_file.write_bytes(b"an earlier run's package")
    wine.package_file.chmod(0o444)
    return wine.package_file


# What the machine holds; the exit code (0: the engine reads the package carried).
MACHINES = {"full disk": (small_drive, ERROR_DISK_FULL),
            "read-only leftover": (read_only_leftover, 0)}


@pytest.mark.parametrize("prepare, expected", MACHINES.values(), ids=MACHINES)
def test_the_install_copes_with_what_the_machine_holds(wine, standin, request, prepare, expected):
    package = prepare(wine, request)
    code = wine.run_exe(BIN / PRODUCT)
    if expected:
        # Nothing half-written stays behind, and no engine runs.
        assert (code, standin.runs(), list(package.parent.glob("*"))) == (expected, [], [])
        return
    assert (code, standin.command_lines()) == (0, [engine_command_line(wine, standin)])
    assert standin.runs()[0]["package"] == package_digest(sample_package())
