#!/usr/bin/python3
"""Turns a binary .res file (windres -O res) into a COFF object holding the
.rsrc section, like `windres -O coff` does, except that resources whose bytes
are identical share one stored copy. The exe carries the same string-table
block once per language; windres stores every copy, this stores it once and
points each language's data entry at it.

  make_resource_object.py --machine i686|x86_64 IN.res OUT.o

The section is laid out as windres lays it out: the directory tables (type,
then name, then language), the name strings, the data entries, then the data
blocks, each at an 8-byte boundary. Each data entry's RVA is relocated against
the section symbol, so GNU ld links the object as it links windres's. The
output depends only on the input: no time stamps.

The object must be the only input of the link with a .rsrc section. Given two
or more, ld merges them by rebuilding the section into a buffer the size of
its inputs; it writes a shared block out once per entry, overruns that buffer
and aborts (binutils 2.40).
"""
import argparse
import struct
import sys

# Machine, file characteristics (as windres writes them) and the relocation
# type that turns a section offset into an RVA.
MACHINES = {
    "i686": (0x014C, 0x0104, 7),    # IMAGE_REL_I386_DIR32NB
    "x86_64": (0x8664, 0x0004, 3),  # IMAGE_REL_AMD64_ADDR32NB
}
# Initialized data, 4-byte aligned, readable and writable, as windres's .rsrc.
SECTION_FLAGS = 0xC0300040
HEADERS_SIZE = 20 + 40  # file header and the one section header
# The empty entry every 32-bit .res file starts with.
RES_SIGNATURE = struct.pack("<II4H", 0, 32, 0xFFFF, 0, 0xFFFF, 0) + bytes(16)


class ResError(Exception):
    pass


def align(n, to):
    return (n + to - 1) // to * to


def read_name(buf, at, end):
    """A type or name field of a .res header: (id or name, offset past it)."""
    if at + 4 > end:
        raise ResError(f"resource header at offset {at} is truncated")
    if buf[at:at + 2] == b"\xff\xff":
        return struct.unpack_from("<H", buf, at + 2)[0], at + 4
    stop = buf.find(b"\0\0", at, end)
    while stop != -1 and (stop - at) % 2:
        stop = buf.find(b"\0\0", stop + 1, end)
    if stop == -1:
        raise ResError(f"resource name at offset {at} has no terminator in its header")
    return buf[at:stop].decode("utf-16-le", "surrogatepass"), stop + 2


def read_res(buf):
    """{(type, name, language): memoryview of the data} of a .res file."""
    if buf[:32] != RES_SIGNATURE:
        raise ResError("not a 32-bit .res file (no leading empty entry)")
    view, resources, at = memoryview(buf), {}, 32
    while at < len(buf):
        if at + 8 > len(buf):
            raise ResError(f"resource header at offset {at} is truncated")
        data_size, header_size = struct.unpack_from("<II", buf, at)
        data_at = at + header_size
        if header_size < 8 or data_at > len(buf):
            raise ResError(f"resource header at offset {at} runs past the end of the file")
        kind, p = read_name(buf, at + 8, data_at)
        name, p = read_name(buf, p, data_at)
        # DataVersion, MemoryFlags, LanguageId, Version, Characteristics: only
        # the language has a place in the section (windres drops the rest too).
        p = align(p, 4)
        if p + 16 > data_at:
            raise ResError(f"resource header at offset {at} is truncated")
        language = struct.unpack_from("<H", buf, p + 6)[0]
        if data_at + data_size > len(buf):
            raise ResError(f"resource data at offset {data_at} ({data_size} bytes) "
                           "runs past the end of the file")
        key = (kind, name, language)
        if key in resources:
            raise ResError(f"resource {kind!r} {name!r} language {language:#x} appears twice")
        resources[key] = view[data_at:data_at + data_size]
        at = align(data_at + data_size, 4)  # the last entry may lack its padding
    return resources


def ordered(keys):
    """Names first, by their upper-cased UTF-16 code units, then ids ascending:
    the loader upper-cases the name it looks for and binary-searches each
    table."""
    def name_order(name):
        upper = "".join(c.upper() if len(c.upper()) == 1 else c for c in name)
        return upper.encode("utf-16-be", "surrogatepass"), name.encode("utf-16-be", "surrogatepass")
    names = sorted((k for k in keys if isinstance(k, str)), key=name_order)
    return names + sorted(k for k in keys if isinstance(k, int))


def build_section(resources):
    """(the section's head: directory tables, names and data entries; the
    data blocks to follow it, each at an 8-byte boundary; the section size;
    the offsets of the data entries' RVA fields, which need relocations)."""
    tree = {}
    for (kind, name, language), data in resources.items():
        tree.setdefault(kind, {}).setdefault(name, {})[language] = data
    # Walk the tree depth first, as windres lays it out: a table, then the
    # tables below its entries in turn. The name strings and the data entries
    # come in the order the walk meets them.
    tables, names, leaves = [], {}, []

    def walk(table):
        keys = ordered(table)
        tables.append((table, keys))
        for key in keys:
            if isinstance(key, str):
                names[id(table), key] = None
            if isinstance(table[key], dict):
                walk(table[key])
            else:
                leaves.append(table[key])
    walk(tree)

    at, table_at = 0, {}
    for table, keys in tables:
        table_at[id(table)] = at
        at += 16 + 8 * len(keys)
    texts = bytearray()
    for place in names:
        names[place] = (at + len(texts)) | 0x80000000
        text = place[1].encode("utf-16-le", "surrogatepass")
        texts += struct.pack("<H", len(text) // 2) + text
    entries_at = align(at + len(texts), 4)

    head, next_leaf = bytearray(), 0
    for table, keys in tables:
        named = sum(isinstance(key, str) for key in keys)
        # Characteristics, time stamp and version stay 0, as windres leaves them.
        head += struct.pack("<IIHHHH", 0, 0, 0, 0, named, len(keys) - named)
        for key in keys:
            field = names[id(table), key] if isinstance(key, str) else key
            if isinstance(table[key], dict):
                target = table_at[id(table[key])] | 0x80000000
            else:
                target = entries_at + 16 * next_leaf
                next_leaf += 1
            head += struct.pack("<II", field, target)
    head += texts
    head += bytes(entries_at - len(head))

    # Identical data is stored once. A memoryview hashes and compares by its
    # bytes, without copying them.
    blocks, stored, relocations = [], {}, []
    end = align(entries_at + 16 * len(leaves), 8)
    for data in leaves:
        if data not in stored:
            stored[data] = end
            blocks.append(data)
            end = align(end + len(data), 8)
            if end > 0xFFFFFFFF:
                raise ResError("more resource data than one COFF section holds")
        relocations.append(len(head))
        # Code page 0, as windres writes it.
        head += struct.pack("<IIII", stored[data], len(data), 0, 0)
    if len(relocations) > 0xFFFF:
        raise ResError("more resources than one COFF section can relocate")
    head += bytes(align(len(head), 8) - len(head))
    return head, blocks, end, relocations


def write_object(out, machine, section):
    machine_id, characteristics, relocation_type = MACHINES[machine]
    head, blocks, size, relocations = section
    relocations_at = HEADERS_SIZE + size
    symbols_at = relocations_at + 10 * len(relocations)
    out.write(struct.pack("<HHIIIHH", machine_id, 1, 0, symbols_at, 1, 0, characteristics))
    out.write(struct.pack("<8sIIIIIIHHI", b".rsrc", 0, 0, size, HEADERS_SIZE, relocations_at,
                          0, len(relocations), 0, SECTION_FLAGS))
    out.write(head)
    for data in blocks:
        out.write(data)
        out.write(bytes(align(len(data), 8) - len(data)))
    for offset in relocations:
        out.write(struct.pack("<IIH", offset, 0, relocation_type))  # against symbol 0
    # The section symbol (static, section 1) and an empty string table.
    out.write(struct.pack("<8sIhHBB", b".rsrc", 0, 1, 0, 3, 0))
    out.write(struct.pack("<I", 4))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--machine", choices=sorted(MACHINES), required=True)
    parser.add_argument("res", help="the .res file windres -O res wrote")
    parser.add_argument("object", help="the COFF object to write")
    args = parser.parse_args()
    try:
        with open(args.res, "rb") as f:
            section = build_section(read_res(f.read()))
        with open(args.object, "wb") as out:
            write_object(out, args.machine, section)
    except ResError as error:
        sys.exit(f"{parser.prog}: {args.res}: {error}")
    except OSError as error:
        sys.exit(f"{parser.prog}: {error}")


if __name__ == "__main__":
    main()
