"""The offline install: engine check, package extraction, engine location and run."""
import re
import shutil

import pytest

from conftest import (BIN, I686, INSTALLER_KEY, PACKAGE_PROGRAM_FILES, PACKAGE_REG_VIEW, PRODUCT,
                      RUNTIME_KEY, engine_command_line, replace_system_file)

MB_ICONERROR = 0x10
MB_OK = 0x0


@pytest.mark.parametrize("code", [0, 1602, 1603, pytest.param(3010, marks=I686), 1641])
def test_engine_exit_code_is_returned_unchanged(wine, standin, code):
    standin.script([code])
    assert wine.run_exe(BIN / PRODUCT) == code
    assert standin.command_lines() == [engine_command_line(wine, standin)]
    package = (BIN.parent / "packaging" / "krt-sample.msi").read_bytes()
    assert wine.package_file.read_bytes() == package


RELAY_BOX = re.compile(r'Call user32\.MessageBoxA\((\w+),\w+ "(.*)",\w+ "(.*)",([0-9a-f]{8})\)')


def relay_message_boxes(stderr):
    """MessageBoxA calls as Wine's relay trace shows them: (owner, text, caption,
    style). The trace shortens long texts to their start and end around "..."."""
    boxes = []
    for line in stderr.splitlines():
        m = RELAY_BOX.search(line)
        if m:
            boxes.append((int(m.group(1), 16), m.group(2), m.group(3), int(m.group(4), 16)))
    return boxes


def trace_message_boxes(wine):
    wine.reg_add(r"HKCU\Software\Wine\Debug", "RelayInclude", "user32.MessageBoxA")
    return {"WINEDEBUG": "-all,+relay"}


@I686
@pytest.mark.parametrize("args", ["", "/s"])
def test_old_engine_shows_the_message_unless_silent_and_ends_with_minus_2(wine, standin, args):
    # Wine reads the version of the msi.dll file it is told to load natively.
    replace_system_file(wine, "msi.dll", BIN / "msi_stub.dll")
    wine.dll_override("msi", "native")
    code = wine.run_exe(BIN / PRODUCT, args, extra_env=trace_message_boxes(wine))
    boxes = relay_message_boxes(wine.last_stderr)
    assert (code, len(boxes)) == (-2, 0 if args else 1), wine.last_stderr[-3000:]
    assert not wine.package_file.exists()
    assert standin.command_lines() == []
    if args:
        return
    owner, text, caption, style = boxes[0]
    head, _, tail = text.partition("...")
    full = ("Kova(TM) could not be installed because the Windows Installer 2.0 Engine is not "
            "installed on this system.  Please download and install Windows Installer 2.0 or "
            "higher from the Microsoft web site.")
    assert len(head) > 40 and full.startswith(head) and full.endswith(tail), text
    assert (owner, caption, style) == (0, "", MB_ICONERROR)


def test_no_installer_location_ends_with_minus_3(wine, standin):
    wine.reg_delete(INSTALLER_KEY, "InstallerLocation")
    assert wine.run_exe(BIN / PRODUCT) == -3
    assert wine.package_file.exists()
    assert standin.command_lines() == []


def test_exe_without_package_ends_with_1_and_runs_no_engine(wine, standin):
    assert wine.run_exe(BIN / "krt-nopackage.exe") == 1
    assert not wine.package_file.exists()
    assert standin.command_lines() == []


def folder_at_the_package_file(wine):
    wine.package_file.mkdir(parents=True)


def file_at_the_package_folder(wine):
    wine.package_file.parent.parent.mkdir(parents=True)
    wine.package_file.parent.write_bytes(b"x")


@pytest.mark.parametrize("args", [pytest.param("", marks=I686), "/s"])
@pytest.mark.parametrize("block, error", [(folder_at_the_package_file, 5),
                                          (file_at_the_package_folder, 3)])
def test_a_blocked_package_path_is_fatal_with_its_error_and_a_box_unless_silent(
        wine, standin, block, error, args):
    block(wine)
    code = wine.run_exe(BIN / PRODUCT, args, extra_env=trace_message_boxes(wine))
    boxes = relay_message_boxes(wine.last_stderr)
    assert (code, len(boxes)) == (error, 0 if args else 1), wine.last_stderr[-3000:]
    assert standin.command_lines() == []
    if not args:
        (owner, text, caption, style), = boxes
        assert text.startswith(f"Installer : Wrapper.CreateFile  failed with error {error}: ")
        assert (owner, caption, style) == (0, "Error", MB_OK)


@I686
def test_wine_msiexec_installs_the_sample_package(wine):
    assert wine.run_exe(BIN / PRODUCT, timeout=300) == 0
    assert wine.key_exists(RUNTIME_KEY, PACKAGE_REG_VIEW)
    assert wine.reg_query(RUNTIME_KEY, "RuntimeLib", PACKAGE_REG_VIEW) is not None
    runtime = wine.c_drive / PACKAGE_PROGRAM_FILES / "Kova" / "krt1.6.0_07"
    assert (runtime / "README.txt").exists()


def test_wine_msiexec_fails_the_sample_package_on_request(wine):
    code = wine.run_exe(BIN / PRODUCT, windows_env={"KOVA_FAIL": "1"}, timeout=300)
    assert code == 1603
    assert not wine.key_exists(RUNTIME_KEY, PACKAGE_REG_VIEW)


PLANTED = "mscoree,mshtml=;shfolder,crypt32,version=n,b"


@I686
def test_planted_libraries_are_never_used(wine, standin):
    # With "n,b" Wine prefers a DLL beside the exe for these names, as Windows
    # would; the XP setting makes the bootstrapper use shfolder.dll.
    exe_dir = wine.c_drive / "download"
    exe_dir.mkdir()
    shutil.copy(BIN / PRODUCT, exe_dir / PRODUCT)
    shutil.copy(BIN / "load_library.exe", exe_dir / "load_library.exe")
    for name in ("shfolder.dll", "crypt32.dll"):
        shutil.copy(BIN / "canary.dll", exe_dir / name)
    # Wine's own user32 and wininet import version.dll by name, so this one is
    # loaded into every process before its first instruction: Wine 8 honours
    # the search restriction the exe makes at start only for libraries loaded
    # after it, not for the static imports of its builtin DLLs. So this canary
    # proves the weaker thing: no call into it ever comes from the exe itself.
    shutil.copy(BIN / "planted" / "version.dll", exe_dir / "version.dll")
    wine.set_version("winxp")
    assert wine.run_exe(exe_dir / PRODUCT, extra_env={"WINEDLLOVERRIDES": PLANTED}) == 0
    assert len(standin.command_lines()) == 1, "the install did not run"
    assert sorted(p.name for p in exe_dir.glob("*.loaded")) == []
    assert not (exe_dir / "version.dll.calls").exists()

    # The canaries work: a bare-name load from the same folder is caught.
    for name in ("shfolder.dll", "crypt32.dll"):
        assert wine.run_exe(exe_dir / "load_library.exe", name,
                            extra_env={"WINEDLLOVERRIDES": PLANTED}) == 0
        assert (exe_dir / f"{name}.loaded").exists()
    assert wine.run_exe(exe_dir / "load_library.exe", "version.dll GetFileVersionInfoSizeA",
                        extra_env={"WINEDLLOVERRIDES": PLANTED}) == 0
    assert (exe_dir / "version.dll.calls").read_text().split() == ["GetFileVersionInfoSizeA"]
