"""Folder names outside the ANSI code page, and the letters its best-fit table
bends: the data folder is redirected below such a name, and the engine must
read the package carried through exactly the path it was handed."""
import pytest

from conftest import BIN, I686, PRODUCT, package_digest
from test_hardening import LOCAL_LOW, USER_SHELL_FOLDERS, sample_package

BELOW = r"Orvo\Kova\krt1.6.0_07\krt1.6.0_07.msi"
PLANTED = b"the user's own package"

# The folder below C:\ that holds the data folder; the shell folder value
# redirected there (LocalLow on the NT family, AppData on 9x); the Windows
# version the product is shown (None: the prefix's own); the folder's ASCII
# twin, where the user's own package waits at the same place (None: none).
NAMES = {
    "cjk": pytest.param("用户", LOCAL_LOW, None, None, marks=I686),
    "best-fit twin": pytest.param("ＦＵＬＬ", LOCAL_LOW, None, "FULL", marks=I686),
    "full-width quotes": ("a＂ PATCH=C：＼Users＼Public＼x.msp ＂b", LOCAL_LOW, None, None),
    "latin-1": ("Jürgen", LOCAL_LOW, None, None),
    "9x latin-1": ("Jürgen", "AppData", "win98", None),
    # The package path 259 characters long, the most a path holds.
    "259 characters": ("x" * (259 - len("C:\\" "\\LL\\") - len(BELOW)), LOCAL_LOW, None, None),
}


@pytest.mark.parametrize("folder, shell_folder, version, twin", NAMES.values(), ids=NAMES)
def test_the_engine_reads_the_package_carried_below_any_folder_name(
        wine, standin, folder, shell_folder, version, twin):
    # Only a UTF-8 locale gives Windows programs (reg included) Unicode names.
    wine.env["LC_ALL"] = "C.UTF-8"
    (wine.c_drive / folder / "LL").mkdir(parents=True)
    if twin:
        planted = wine.c_drive.joinpath(twin, "LL", *BELOW.split("\\"))
        planted.parent.mkdir(parents=True)
        planted.write_bytes(PLANTED)
    wine.reg_add(USER_SHELL_FOLDERS, shell_folder, rf"C:\{folder}\LL")
    if version:
        wine.set_version(version)
    code = wine.run_exe(BIN / PRODUCT)
    runs = standin.runs()
    # Refusing to run the engine is a safe end too, where a twin lies in wait.
    if not (twin and (code, runs) == (1920, [])):
        assert (code, standin.command_lines()) == (
            0, [f'"{standin.path}" /i "C:\\{folder}\\LL\\{BELOW}" '])
        assert runs[0]["package"] == package_digest(sample_package())
    if twin:
        assert planted.read_bytes() == PLANTED  # nothing was written through the bent name
