#!/usr/bin/env python3
"""Prints what a Windows executable says about itself: its subsystem, its
version resource (fixed part, strings, translation) and its icon groups.

Usage: python3 tools/pe_summary.py Quenlo.exe
"""

import struct
import sys

SUBSYSTEMS = {2: "Windows GUI", 3: "Windows console"}
RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        sections, optional_size = struct.unpack_from("<2xH12xH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.kind = {0x10B: "PE32", 0x20B: "PE32+"}[magic]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        for i in range(sections):
            at = optional + optional_size + 40 * i
            size, rva, raw_size, raw = struct.unpack_from("<IIII", data, at + 8)
            self.sections.append((rva, max(size, raw_size), raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("address outside the sections")

    def resources(self):
        """(type, id, language, bytes) of every resource."""
        base = self.offset(self.resource_rva)
        found = []

        def walk(at, path):
            named, ids = struct.unpack_from("<12xHH", self.data, base + at)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", self.data, base + at + 16 + 8 * i)
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, path + [key])
                else:
                    rva, size = struct.unpack_from("<II", self.data, base + target)
                    start = self.offset(rva)
                    found.append((*path, key, self.data[start:start + size]))

        walk(0, [])
        return found


def version_block(data, at):
    """One block of a version resource: (key, value bytes, value type, children)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if value_type == 1 else value_length
    value = data[value_at:value_at + value_size]
    children = []
    child = (value_at + value_size + 3) & ~3
    while child < end:
        block = version_block(data, child)
        children.append(block[:4])
        child = (child + block[4] + 3) & ~3
    return key, value, value_type, children, length


def describe_version(data):
    lines = []
    _, fixed, _, children, _ = version_block(data, 0)
    fields = struct.unpack_from("<13I", fixed)
    if fields[0] != 0xFEEF04BD:
        raise ValueError("no fixed version information")

    def dotted(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    lines.append("file version %s, product version %s" % (dotted(*fields[2:4]),
                                                            dotted(*fields[4:6])))
    lines.append("file flags %d, file OS 0x%X, file type %d, subtype %d" % (
        fields[7], fields[8], fields[9], fields[10]))
    for key, _, _, blocks in children:
        for block_key, value, _, strings in blocks:
            if key == "StringFileInfo":
                lines.append("strings %s:" % block_key)
                for name, text, _, _ in strings:
                    lines.append("  %s = %s" % (name, text.decode("utf-16-le").rstrip("\0")))
            elif key == "VarFileInfo":
                pairs = struct.unpack_from("<%dH" % (len(value) // 2), value)
                for language, code_page in zip(pairs[::2], pairs[1::2]):
                    lines.append("%s 0x%04X %d" % (block_key, language, code_page))
    return lines


def describe_icons(group_id, data):
    count = struct.unpack_from("<4xH", data)[0]
    lines = ["icon group %d: %d image(s)" % (group_id, count)]
    for i in range(count):
        width, height, colours, _, _, bits = struct.unpack_from("<BBBBHH", data, 6 + 14 * i)
        lines.append("  %dx%d, %d colours, %d bits" % (width or 256, height or 256,
                                                        colours, bits))
    return lines


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "rb") as f:
        image = Image(f.read())
    print("%s, subsystem %s" % (image.kind,
                                SUBSYSTEMS.get(image.subsystem, str(image.subsystem))))
    for kind, ident, language, data in image.resources():
        if kind == RT_VERSION:
            print("version resource %d, language 0x%04X" % (ident, language))
            for line in describe_version(data):
                print("  " + line)
        elif kind == RT_GROUP_ICON:
            for line in describe_icons(ident, data):
                print(line)


if __name__ == "__main__":
    main()
