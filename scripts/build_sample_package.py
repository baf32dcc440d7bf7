#!/usr/bin/python3
"""Builds the sample package reproducibly: wixl writes a random revision
number (package code) and the build's time into the summary information, and
the source files' modification times into the cabinet. The sources are copied
with their times set to SOURCE_DATE_EPOCH (else the time of the last commit
that changed the packaging folder, else 1970), wixl builds from the copy, and
the summary information is rewritten in place, at the same sizes: the package
code the source names, both times the same epoch.

  scripts/build_sample_package.py OUT.msi PACKAGING-FOLDER PACKAGE-CODE-GUID
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import olefile

STREAM = "\x05SummaryInformation"
PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM = 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64
EPOCH_AS_FILETIME = 116444736000000000  # 1970-01-01 in 100-ns steps since 1601


def source_date_epoch(folder):
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        # The last commit that changed the packaging folder, so that commits
        # elsewhere leave the package's bytes alone.
        out = subprocess.run(["git", "-C", folder, "log", "-1", "--format=%ct", "--", "."],
                             capture_output=True, text=True, check=True).stdout.strip()
        return int(out)
    except (OSError, subprocess.CalledProcessError, ValueError):
        return 0


def normalize(data, package_code, seconds):
    """The summary information with the three properties replaced."""
    data = bytearray(data)
    section = struct.unpack_from("<I", data, 44)[0]  # the first section's offset
    count = struct.unpack_from("<I", data, section + 4)[0]
    when = struct.pack("<Q", EPOCH_AS_FILETIME + seconds * 10000000)
    done = set()
    for i in range(count):
        pid, offset = struct.unpack_from("<II", data, section + 8 + 8 * i)
        at = section + offset
        kind = struct.unpack_from("<I", data, at)[0]
        if pid == PID_REVNUMBER and kind == VT_LPSTR:
            size = struct.unpack_from("<I", data, at + 4)[0]
            text = package_code.encode("ascii") + b"\0"
            if len(text) != size:
                raise SystemExit(f"revision number of {size} bytes, not {len(text)}")
            data[at + 8:at + 8 + size] = text
            done.add(pid)
        elif pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM) and kind == VT_FILETIME:
            data[at + 4:at + 12] = when
            done.add(pid)
    if done != {PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM}:
        raise SystemExit(f"summary information without {sorted({9, 12, 13} - done)}")
    return bytes(data)


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    out, packaging, package_code = argv[1], argv[2], "{" + argv[3].strip("{}").upper() + "}"
    seconds = source_date_epoch(packaging)
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "packaging")
        shutil.copytree(packaging, source)
        for folder, _, files in os.walk(source):
            for name in files:
                os.utime(os.path.join(folder, name), (seconds, seconds))
        subprocess.run(["wixl", "-o", os.path.abspath(out), "sample-runtime.wxs"], cwd=source,
                       check=True)
    ole = olefile.OleFileIO(out, write_mode=True)
    ole.write_stream(STREAM, normalize(ole.openstream(STREAM).read(), package_code, seconds))
    ole.close()


if __name__ == "__main__":
    main(sys.argv)
