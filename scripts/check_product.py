#!/usr/bin/python3
"""Checks the shipped bootstrapper exe statically, without running it: the
file format and architecture, the hardening flags, the DLLs it imports, and
the resources Windows and the package rely on. Runs on any machine, whether
or not it can execute 32-bit code.

  scripts/check_product.py EXE     prints each fault; exit status 1 when any
"""
import re
import sys

import pefile

IMAGE_FILE_MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
SUBSYSTEM_WINDOWS_GUI = 2
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100

# Exactly the libraries Windows always maps from its known DLLs. Any other
# library (wininet.dll is not among them) would be looked for beside the exe
# at process start, so it is loaded at run time by its full system path.
REQUIRED_IMPORTS = {"advapi32.dll", "kernel32.dll", "msvcrt.dll", "user32.dll"}

PACKAGE_TYPE, PACKAGE_ID = "KOVA_INSTALLER", 101
RT_STRING, RT_GROUP_ICON, RT_MANIFEST = 6, 14, 24
ICON_GROUP_ID = 114
ENGINE_MESSAGE_ID = 4
ENGINE_MESSAGE = ("Kova(TM) could not be installed because the Windows Installer 2.0 Engine is "
                  "not installed on this system.  Please download and install Windows Installer "
                  "2.0 or higher from the Microsoft web site.")
ENGINE_MESSAGE_LANGUAGES = {7, 10, 12, 16, 29, 1028, 1033, 1041, 1042, 2052}
# The version resource: the fixed file version 6.0.70.6 (as the manifest's)
# and the texts the file's properties show.
FILE_VERSION = ((6 << 16) | 0, (70 << 16) | 6)
VERSION_TEXTS = {
    "CompanyName": "KovaSoft",
    "ProductName": "Kova Runtime Environment",
    "ProductVersion": "1.6.0_07",
    "FileVersion": "6.0.70.6",
    "OriginalFilename": "krt-1.6.0_07-windows-i586.exe",
}
MANIFEST_FIELDS = {
    "assemblyIdentity": {"name": "krt-6-windows-i586", "version": "6.0.70.6",
                         "processorArchitecture": "X86", "type": "win32"},
    "requestedExecutionLevel": {"level": "requireAdministrator", "uiAccess": "false"},
}


def resource_tree(pe):
    """{type (int id or str name): {id or name: {language: bytes}}}."""
    tree = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return tree
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        kind_key = str(kind.name) if kind.name is not None else kind.id
        for entry in kind.directory.entries:
            entry_key = str(entry.name) if entry.name is not None else entry.id
            for lang in entry.directory.entries:
                data = lang.data.struct
                tree.setdefault(kind_key, {}).setdefault(entry_key, {})[lang.id] = \
                    pe.get_data(data.OffsetToData, data.Size)
    return tree


def string_from_block(block, index):
    """The index-th counted UTF-16 string of a string-table block, or None."""
    at = 0
    for i in range(16):
        if at + 2 > len(block):
            return None
        length = int.from_bytes(block[at:at + 2], "little")
        text = block[at + 2:at + 2 + 2 * length]
        if i == index:
            return text.decode("utf-16-le", errors="replace") if len(text) == 2 * length else None
        at += 2 + 2 * length
    return None


def check_manifest(xml):
    faults = []
    for element, fields in MANIFEST_FIELDS.items():
        match = re.search(rf"<{element}\b([^>]*)>", xml)
        if not match:
            faults.append(f"manifest: no {element}")
            continue
        attributes = dict(re.findall(r'(\w+)="([^"]*)"', match.group(1)))
        for name, value in fields.items():
            if attributes.get(name) != value:
                faults.append(f"manifest: {element} {name}={attributes.get(name)!r}, not {value!r}")
    return faults


def check_version_info(pe):
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        return ["no version information"]
    faults = []
    if (fixed[0].FileVersionMS, fixed[0].FileVersionLS) != FILE_VERSION:
        faults.append("file version is not 6.0.70.6")
    texts = {}
    for info in getattr(pe, "FileInfo", [[]])[0]:
        for table in getattr(info, "StringTable", []):
            texts.update({k.decode("latin-1"): v.decode("latin-1") for k, v in table.entries.items()})
    for name, value in VERSION_TEXTS.items():
        if texts.get(name) != value:
            faults.append(f"version text {name}={texts.get(name)!r}, not {value!r}")
    if not texts.get("FileDescription"):
        faults.append("no file description")
    return faults


def check_relocations(pe):
    """A dynamic-base image is moved by its base relocations: they must be
    there, and each must fix up a 32-bit address inside one of its sections."""
    blocks = getattr(pe, "DIRECTORY_ENTRY_BASERELOC", [])
    entries = [entry for block in blocks for entry in block.entries
               if entry.type != pefile.RELOCATION_TYPE["IMAGE_REL_BASED_ABSOLUTE"]]
    if not entries:
        return ["no base relocations"]
    faults = []
    for entry in entries:
        section = pe.get_section_by_rva(entry.rva)
        if entry.type != pefile.RELOCATION_TYPE["IMAGE_REL_BASED_HIGHLOW"]:
            faults.append(f"base relocation of type {entry.type} at {entry.rva:#x}")
        elif section is None or entry.rva + 4 > section.VirtualAddress + section.Misc_VirtualSize:
            faults.append(f"base relocation at {entry.rva:#x} outside every section")
    return faults[:5]


def check(path):
    """Every fault found in the exe at path, as lines of text; [] when sound."""
    try:
        pe = pefile.PE(path)
    except (OSError, pefile.PEFormatError) as error:
        return [f"not a PE file: {error}"]
    faults = []
    if pe.OPTIONAL_HEADER.Magic != PE32_MAGIC:
        faults.append(f"not PE32 (optional header magic {pe.OPTIONAL_HEADER.Magic:#x})")
    if pe.FILE_HEADER.Machine != IMAGE_FILE_MACHINE_I386:
        faults.append(f"machine {pe.FILE_HEADER.Machine:#x}, not i386")
    if pe.OPTIONAL_HEADER.Subsystem != SUBSYSTEM_WINDOWS_GUI:
        faults.append(f"subsystem {pe.OPTIONAL_HEADER.Subsystem}, not the Windows GUI")
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    for bit, name in ((DYNAMIC_BASE, "dynamic base"), (NX_COMPAT, "NX compatibility")):
        if not flags & bit:
            faults.append(f"no {name}")

    faults += check_relocations(pe)

    imports = {entry.dll.decode("ascii", "replace").lower()
               for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    if hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"):
        faults.append("delay-loaded imports")
    if imports != REQUIRED_IMPORTS:
        extra, missing = sorted(imports - REQUIRED_IMPORTS), sorted(REQUIRED_IMPORTS - imports)
        faults.append(f"imports differ from the required set: extra {extra}, missing {missing}")

    tree = resource_tree(pe)
    package = tree.get(PACKAGE_TYPE, {}).get(PACKAGE_ID)
    if not package:
        faults.append(f"no package resource {PACKAGE_ID} of type {PACKAGE_TYPE}")
    blocks = tree.get(RT_STRING, {}).get(ENGINE_MESSAGE_ID // 16 + 1, {})
    if set(blocks) != ENGINE_MESSAGE_LANGUAGES:
        faults.append(f"string table languages {sorted(blocks)}, not {sorted(ENGINE_MESSAGE_LANGUAGES)}")
    for language, block in sorted(blocks.items()):
        if string_from_block(block, ENGINE_MESSAGE_ID % 16) != ENGINE_MESSAGE:
            faults.append(f"string {ENGINE_MESSAGE_ID} in language {language} is not the engine message")
    if ICON_GROUP_ID not in tree.get(RT_GROUP_ICON, {}):
        faults.append(f"no group icon {ICON_GROUP_ID}")
    manifests = tree.get(RT_MANIFEST, {}).get(1, {})
    if len(manifests) != 1:
        faults.append(f"{len(manifests)} process manifests, not one")
    for xml in manifests.values():
        faults += check_manifest(xml.decode("utf-8", errors="replace"))
    faults += check_version_info(pe)
    return faults


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    faults = check(argv[1])
    for fault in faults:
        print(f"{argv[1]}: {fault}")
    if not faults:
        print(f"{argv[1]}: PE32 i386 GUI, dynamic base, NX, imports {sorted(REQUIRED_IMPORTS)}, "
              "relocations, package, engine message in 10 languages, icon, manifest, version information: all as required")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
