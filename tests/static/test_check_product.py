"""The static product check refuses an exe that breaks one of its rules: the
built product passes, and each variant below (built, or the product with one
field or name changed on disk) is refused for exactly that rule."""
import os
import sys
from pathlib import Path

import pefile
import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "scripts"))
import check_product  # noqa: E402

BIN = Path(os.environ.get("KOVA_PRODUCT_BIN", ROOT / "build" / "win32" / "bin"))
PRODUCT = BIN / "krt-1.6.0_07-windows-i586.exe"


def patch_bytes(old, new):
    assert len(old) == len(new)
    def apply(data):
        assert data.count(old) >= 1, old
        at = data.index(old)
        return data[:at] + new + data[at + len(old):]
    return apply


def patch_header(change):
    def apply(data):
        pe = pefile.PE(data=data)
        change(pe)
        return bytes(pe.write())
    return apply


def clear_nx(pe):
    pe.OPTIONAL_HEADER.DllCharacteristics &= ~check_product.NX_COMPAT


def console_subsystem(pe):
    pe.OPTIONAL_HEADER.Subsystem = 3


def relocations_lost(pe):
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    directory.VirtualAddress = pe.OPTIONAL_HEADER.SizeOfImage  # past the image's end


def one_language_elsewhere(pe):
    """Points the first language's string-table entry at the manifest's bytes:
    the languages share one stored copy, so one copy cannot be edited alone."""
    def leaves(type_id):
        kind = next(t for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == type_id)
        return [leaf for name in kind.directory.entries for leaf in name.directory.entries]
    manifest = leaves(24)[0].data.struct
    strings = leaves(6)[0].data.struct
    strings.OffsetToData, strings.Size = manifest.OffsetToData, manifest.Size


CASES = [
    # (variant, how it is made, the fault the check must name)
    ("built without the package", "krt-nopackage.exe", "no package resource 101"),
    # A DLL that is not a KnownDLL, imported by bare name, is a planting risk.
    ("imports version.dll", patch_bytes(b"ADVAPI32.dll", b"VERSION.dll\0"), "extra ['version.dll']"),
    ("imports wininet.dll", patch_bytes(b"KERNEL32.dll", b"WININET.dll\0"), "extra ['wininet.dll']"),
    ("no NX", patch_header(clear_nx), "no NX compatibility"),
    ("console subsystem", patch_header(console_subsystem), "subsystem 3"),
    # Dynamic base with nothing to move the image by: it loads only at its base.
    ("relocations lost", patch_header(relocations_lost), "no base relocations"),
    ("asks for less than administrator",
     patch_bytes(b'"requireAdministrator"', b'"highestAvailable"    '), "level='highestAvailable'"),
    ("engine message altered in one language", patch_header(one_language_elsewhere),
     "is not the engine message"),
]


def test_product_passes():
    assert check_product.check(str(PRODUCT)) == []


@pytest.mark.parametrize("name,make,fault", CASES, ids=[c[0] for c in CASES])
def test_broken_variant_is_refused(tmp_path, name, make, fault):
    if isinstance(make, str):
        exe = BIN / make
    else:
        exe = tmp_path / "variant.exe"
        exe.write_bytes(make(PRODUCT.read_bytes()))
    faults = check_product.check(str(exe))
    assert len(faults) == 1 and fault in faults[0], faults
