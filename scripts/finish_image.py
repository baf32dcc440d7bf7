#!/usr/bin/python3
"""Lays out a linked exe compactly, in place, before it is signed:

  finish_image.py EXE

- The DOS stub program goes: the PE headers follow the 64-byte DOS header,
  which keeps "MZ" and the headers' offset, so that the headers and the
  section table fit in one 512-byte file block where they fit.
- The base relocations move to the end of the resource section, the section
  before them: each of the two last sections otherwise wastes most of a file
  block. The relocation directory then points there; no address in the image
  changes, since .reloc was the last section.
- A section of 64 KiB or more (in practice the resources, with the package)
  starts on a page boundary in the file. Wine maps a section straight from the file only when it starts on one;
  otherwise it reads it, package and all, into private memory.

Every other byte of every section stays at the same RVA; the script checks
that the image a loader maps from the output equals the input's, header
fields aside, and that the checksum is right, before it replaces the file. On
any failure it deletes EXE, so that the next build links it again, and exits 1.
"""
import array
import os
import struct
import sys

PAGE = 0x1000
LARGE_SECTION = 64 * 1024  # from here on, page alignment is worth its padding
DOS_HEADER_SIZE = 0x40
SECTION_HEADER_SIZE = 40
DIR_SECURITY, DIR_BASERELOC = 4, 5
SCN_INITIALIZED_DATA = 0x40


class ImageError(Exception):
    pass


def align(n, to):
    return (n + to - 1) // to * to


class Section:
    def __init__(self, raw_header, data):
        (self.name, self.vsize, self.rva, self.raw_size, self.raw_at, _, _, _, _,
         self.flags) = struct.unpack("<8sIIIIIIHHI", raw_header)
        self.data = data[self.raw_at:self.raw_at + self.raw_size] if self.raw_at else b""

    def header(self):
        return struct.pack("<8sIIIIIIHHI", self.name, self.vsize, self.rva, self.raw_size,
                           self.raw_at if self.raw_size else 0, 0, 0, 0, 0, self.flags)

    def mapped(self):
        """The section's bytes as a loader maps them: raw data cut or padded to the virtual size."""
        size = self.vsize or self.raw_size
        return self.data[:size].ljust(size, b"\0")


class Image:
    def __init__(self, data):
        if data[:2] != b"MZ":
            raise ImageError("no MZ signature")
        self.nt_at = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.nt_at:self.nt_at + 4] != b"PE\0\0":
            raise ImageError("no PE signature")
        self.file_header = bytearray(data[self.nt_at + 4:self.nt_at + 24])
        count, optional_size = struct.unpack_from("<H12xH", self.file_header, 2)
        start = self.nt_at + 24
        self.optional = bytearray(data[start:start + optional_size])
        magic = struct.unpack_from("<H", self.optional, 0)[0]
        if magic not in (0x10B, 0x20B):
            raise ImageError(f"unknown optional header magic {magic:#x}")
        self.dirs_at = 96 if magic == 0x10B else 112  # data directories in the optional header
        table = start + optional_size
        self.sections = [Section(data[table + i * SECTION_HEADER_SIZE:
                                      table + (i + 1) * SECTION_HEADER_SIZE], data)
                         for i in range(count)]
        self.dos_header = bytearray(data[:DOS_HEADER_SIZE])

    def field(self, fmt, at):
        return struct.unpack_from(fmt, self.optional, at)[0]

    def set_field(self, fmt, at, value):
        struct.pack_into(fmt, self.optional, at, value)

    def directory(self, index):
        return struct.unpack_from("<II", self.optional, self.dirs_at + 8 * index)

    def set_directory(self, index, rva, size):
        struct.pack_into("<II", self.optional, self.dirs_at + 8 * index, rva, size)

    def mapped(self):
        """RVA -> mapped bytes of every section, and the data directories."""
        return ({s.rva: s.mapped() for s in self.sections},
                [self.directory(i) for i in range(self.field("<I", self.dirs_at - 4))])

    def write(self):
        """The file: DOS header, PE headers right after it, then each section's
        raw data at the next file-alignment boundary (a page for a large one)."""
        file_align = self.field("<I", 36)
        struct.pack_into("<I", self.dos_header, 0x3C, DOS_HEADER_SIZE)
        struct.pack_into("<H", self.file_header, 2, len(self.sections))
        headers_end = (DOS_HEADER_SIZE + 24 + len(self.optional) +
                       SECTION_HEADER_SIZE * len(self.sections))
        at = align(headers_end, file_align)
        self.set_field("<I", 60, at)  # SizeOfHeaders
        for s in self.sections:
            if s.raw_size:
                at = align(at, PAGE if s.raw_size >= LARGE_SECTION else file_align)
                s.raw_at = at
                at += s.raw_size
        last = self.sections[-1]
        self.set_field("<I", 56, align(last.rva + (last.vsize or last.raw_size),
                                       self.field("<I", 32)))  # SizeOfImage, by SectionAlignment
        self.set_field("<I", 8, sum(s.raw_size for s in self.sections
                                    if s.flags & SCN_INITIALIZED_DATA))
        self.set_field("<I", 64, 0)  # checksum, computed below
        out = bytearray(at)
        out[:DOS_HEADER_SIZE] = self.dos_header
        out[DOS_HEADER_SIZE:DOS_HEADER_SIZE + 4] = b"PE\0\0"
        out[DOS_HEADER_SIZE + 4:DOS_HEADER_SIZE + 24] = self.file_header
        table = DOS_HEADER_SIZE + 24 + len(self.optional)
        out[DOS_HEADER_SIZE + 24:table] = self.optional
        for i, s in enumerate(self.sections):
            out[table + i * SECTION_HEADER_SIZE:table + (i + 1) * SECTION_HEADER_SIZE] = s.header()
            out[s.raw_at:s.raw_at + s.raw_size] = s.data.ljust(s.raw_size, b"\0")
        checksum_at = DOS_HEADER_SIZE + 24 + 64
        out[checksum_at:checksum_at + 4] = struct.pack("<I", checksum(out, checksum_at))
        return bytes(out)


def checksum(data, checksum_at):
    """The PE image checksum: 16-bit one's-complement-style sum of the file,
    the checksum field counted as 0, plus the file's length."""
    words = array.array("H", data + b"\0" * (len(data) % 2))
    if sys.byteorder != "little":
        words.byteswap()
    total = sum(words) - sum(struct.unpack_from("<2H", data, checksum_at))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


def merge_relocations(image):
    """Moves .reloc's bytes to the end of the resource section before it."""
    if len(image.sections) < 2:
        return
    resources, relocs = image.sections[-2:]
    reloc_rva, reloc_size = image.directory(DIR_BASERELOC)
    if (relocs.name.rstrip(b"\0") != b".reloc" or resources.name.rstrip(b"\0") != b".rsrc"
            or reloc_rva != relocs.rva or reloc_size > relocs.vsize):
        return
    file_align = image.field("<I", 36)
    at = align(resources.vsize, 4)  # relocation blocks are 32-bit aligned
    body = resources.mapped().ljust(at, b"\0") + relocs.mapped()[:reloc_size]
    resources.vsize = len(body)
    resources.raw_size = align(len(body), file_align)
    resources.data = body
    image.set_directory(DIR_BASERELOC, resources.rva + at, reloc_size)
    image.sections.pop()


def finish(data):
    before = Image(data)
    if before.directory(DIR_SECURITY) != (0, 0):
        raise ImageError("the exe is signed already: finish it before signing")
    image = Image(data)
    merge_relocations(image)
    out = image.write()

    # The loader's view must be the same, the moved relocations aside.
    after = Image(out)
    (old_sections, old_dirs), (new_sections, new_dirs) = before.mapped(), after.mapped()
    reloc_rva, reloc_size = old_dirs[DIR_BASERELOC]
    moved_rva, moved_size = new_dirs[DIR_BASERELOC]
    if moved_rva != reloc_rva:
        old_relocs = old_sections.pop(reloc_rva)
        host = max(rva for rva in new_sections if rva <= moved_rva)
        offset = moved_rva - host
        if new_sections[host][offset:offset + moved_size] != old_relocs[:reloc_size]:
            raise ImageError("the relocations did not move intact")
        new_sections[host] = new_sections[host][:offset]
        old_sections[host] = old_sections[host].ljust(offset, b"\0")
    new_dirs[DIR_BASERELOC] = old_dirs[DIR_BASERELOC]
    if old_sections != new_sections or old_dirs != new_dirs:
        raise ImageError("the mapped image would change")
    if checksum(out, DOS_HEADER_SIZE + 88) != after.field("<I", 64):
        raise ImageError("checksum mismatch")
    return out


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    path = argv[1]
    try:
        with open(path, "rb") as f:
            out = finish(f.read())
        with open(path + ".tmp", "wb") as f:
            f.write(out)
        os.replace(path + ".tmp", path)
    except (OSError, ImageError, struct.error) as error:
        print(f"finish_image.py: {path}: {error}", file=sys.stderr)
        for stale in (path, path + ".tmp"):
            if os.path.exists(stale):
                os.remove(stale)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
