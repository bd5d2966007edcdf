#!/usr/bin/env python3
"""Reads what Windows shows of a program without running it: the version
resource (Explorer's file properties, the task manager), the icon, the
subsystem (a window program or a console tool) and the DLLs it imports, and
checks them against what the release promises.

  pe_check.py --version 0.1.0 DIR/zq-thrust.exe=gui:"ZQ - Thrust ..." ...

Each argument is FILE=SUBSYSTEM:DESCRIPTION. Prints one line per file and
exits 1 with the reasons when something is off.
"""
import argparse
import os
import struct
import sys

RT_ICON_GROUP = 14
RT_VERSION = 16
SUBSYSTEMS = {2: "gui", 3: "console"}
# DLLs every Windows 10/11 has; anything else (the MinGW runtime:
# libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll) would have to be
# shipped beside the program.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "winmm.dll", "ws2_32.dll",
               "msvcrt.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "ucrtbase.dll",
               # Winsock's extensions and the system's random source (Asio)
               "mswsock.dll", "bcrypt.dll"}


class Pe:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b"MZ":
            raise ValueError("not a Windows program (no MZ header)")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE header")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", d, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from("<H", d, opt)[0]
        self.pe32plus = magic == 0x20B
        self.subsystem = struct.unpack_from("<H", d, opt + 68)[0]
        dirs = opt + (112 if self.pe32plus else 96)
        count = struct.unpack_from("<I", d, dirs - 4)[0]
        self.directories = [struct.unpack_from("<II", d, dirs + 8 * i) for i in range(count)]
        table = opt + optional_size
        self.sections = []
        for i in range(sections):
            _, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", d, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rawsize), rawptr))

    def offset(self, rva):
        for vaddr, size, rawptr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rawptr + rva - vaddr
        raise ValueError("address %#x lies in no section" % rva)

    def cstring(self, off):
        return self.data[off:self.data.index(b"\0", off)].decode("latin-1")

    def imports(self):
        if len(self.directories) < 2 or self.directories[1][0] == 0:
            return []
        names, off = [], self.offset(self.directories[1][0])
        while True:
            lookup, _, _, name, thunk = struct.unpack_from("<IIIII", self.data, off)
            if name == 0:
                return names
            names.append(self.cstring(self.offset(name)))
            off += 20

    def resources(self, type_id):
        """Data (bytes) of every resource of type `type_id`."""
        if len(self.directories) < 3 or self.directories[2][0] == 0:
            return []
        base = self.offset(self.directories[2][0])

        def entries(off):
            named, ids = struct.unpack_from("<HH", self.data, base + off + 12)
            for i in range(named + ids):
                yield struct.unpack_from("<II", self.data, base + off + 16 + 8 * i)

        def leaves(off):
            for _, target in entries(off):
                if target & 0x80000000:
                    yield from leaves(target & 0x7FFFFFFF)
                else:
                    rva, size = struct.unpack_from("<II", self.data, base + target)
                    start = self.offset(rva)
                    yield self.data[start:start + size]

        for name, target in entries(0):
            if name == type_id and target & 0x80000000:
                return list(leaves(target & 0x7FFFFFFF))
        return []


def version_block(data, off=0):
    """One node of VS_VERSIONINFO: (key, value, children, end)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, off)
    end = off + length
    key_end = off + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[off + 6:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    if kind == 1:  # text: the length counts UTF-16 units, the final NUL included
        value = data[pos:pos + 2 * value_length].decode("utf-16-le").rstrip("\0")
        pos += 2 * value_length
    else:
        value = data[pos:pos + value_length]
        pos += value_length
    children = []
    pos = (pos + 3) & ~3
    while pos < end:
        child = version_block(data, pos)
        children.append(child)
        pos = (child[3] + 3) & ~3
    return key, value, children, end


def version_info(pe):
    blocks = pe.resources(RT_VERSION)
    if not blocks:
        return None, {}
    key, fixed, children, _ = version_block(blocks[0])
    numbers = None
    if key == "VS_VERSION_INFO" and len(fixed) >= 52:
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
        if signature == 0xFEEF04BD:
            split = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
            numbers = (split(file_ms, file_ls), split(product_ms, product_ls))
    strings = {}
    for child in children:
        if child[0] == "StringFileInfo":
            for table in child[2]:
                for entry in table[2]:
                    strings[entry[0]] = entry[1]
    return numbers, strings


def check(path, subsystem, description, version):
    problems = []
    pe = Pe(path)
    name = os.path.basename(path)
    if pe.machine != 0x8664 or not pe.pe32plus:
        problems.append("not an x64 program (machine %#x)" % pe.machine)
    got = SUBSYSTEMS.get(pe.subsystem, str(pe.subsystem))
    if got != subsystem:
        problems.append("subsystem %s, expected %s" % (got, subsystem))
    foreign = [d for d in pe.imports()
               if d.lower() not in SYSTEM_DLLS and not d.lower().startswith("api-ms-win-")]
    if foreign:
        problems.append("needs DLLs that Windows does not have: " + ", ".join(foreign))
    numbers, strings = version_info(pe)
    parts = [int(p) for p in version.split(".")] + [0] * 4
    expected_numbers = tuple(parts[:4])
    if numbers is None:
        problems.append("no version resource")
    else:
        for label, got_numbers in zip(("file", "product"), numbers):
            if got_numbers != expected_numbers:
                problems.append("%s version %s, expected %s" % (
                    label, ".".join(map(str, got_numbers)), ".".join(map(str, expected_numbers))))
        expected = {"ProductName": "zq-thrust", "ProductVersion": version,
                    "FileVersion": version, "FileDescription": description,
                    "OriginalFilename": name}
        for key, value in expected.items():
            if strings.get(key) != value:
                problems.append("%s is %r, expected %r" % (key, strings.get(key), value))
    icons = len(pe.resources(RT_ICON_GROUP))
    summary = "%s: %s, %s %s, \"%s\", %d icon group(s), imports %s" % (
        name, got, strings.get("ProductName"), strings.get("FileVersion"),
        strings.get("FileDescription"), icons, " ".join(sorted(pe.imports())))
    return summary, problems, icons


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--icon", action="append", default=[],
                        help="file name that must carry an icon")
    parser.add_argument("programs", nargs="+", help="FILE=SUBSYSTEM:DESCRIPTION")
    args = parser.parse_args()
    failed = False
    for entry in args.programs:
        path, _, rest = entry.partition("=")
        subsystem, _, description = rest.partition(":")
        try:
            summary, problems, icons = check(path, subsystem, description, args.version)
        except (OSError, ValueError, struct.error) as e:
            summary, problems, icons = os.path.basename(path), ["unreadable: %s" % e], 0
        if os.path.basename(path) in args.icon and icons == 0:
            problems.append("no icon")
        print(summary)
        for p in problems:
            print("  FAIL " + p)
        failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
