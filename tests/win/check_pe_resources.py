#!/usr/bin/python3
"""Checks that the Windows vkupdate.exe carries every resource of vkupdate.res, unchanged.

usage: /usr/bin/python3 tests/win/check_pe_resources.py vkupdate.exe vkupdate.res
Reads the executable with pefile (an independent PE reader) and the .res directly; exits 1
and names the resource on any difference.
"""
import struct
import sys

import pefile


def res_entries(data):
    """(type, id, language) -> bytes for every numbered entry of a .res file."""
    entries, at = {}, 0
    while at + 8 <= len(data):
        size, header = struct.unpack_from("<II", data, at)
        p = at + 8
        ids = []
        for _ in range(2):
            if struct.unpack_from("<H", data, p)[0] == 0xFFFF:
                ids.append(struct.unpack_from("<H", data, p + 2)[0])
                p += 4
            else:
                end = p
                while data[end:end + 2] != b"\0\0":
                    end += 2
                ids.append(data[p:end].decode("utf-16-le"))
                p = end + 2
        p = (p + 3) & ~3
        language = struct.unpack_from("<H", data, p + 6)[0]
        if ids[0] != 0:
            entries[(ids[0], ids[1], language)] = data[at + header:at + header + size]
        at = (at + header + size + 3) & ~3
    return entries


def pe_entries(path):
    pe = pefile.PE(path)
    entries = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                s = lang.data.struct
                key = (t.id if t.id is not None else str(t.name), n.id if n.id is not None else str(n.name), lang.id)
                entries[key] = pe.get_data(s.OffsetToData, s.Size)
    return entries


def main():
    exe, res = sys.argv[1], sys.argv[2]
    want = res_entries(open(res, "rb").read())
    have = pe_entries(exe)
    failures = [f"{key}: missing" for key in want if key not in have]
    failures += [f"{key}: differs" for key in want if key in have and have[key] != want[key]]
    failures += [f"{key}: not in the .res" for key in have if key not in want]
    for line in failures:
        print(f"{exe}: resource {line}")
    if not failures:
        print(f"{exe}: {len(want)} resources match {res}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
