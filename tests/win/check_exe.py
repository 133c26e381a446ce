#!/usr/bin/python3
"""Checks the built vkupdate.exe with an independent PE reader (pefile): a 32-bit GUI
program that needs no MinGW DLLs, carries the administrator manifest, the dialog, the
welcome text and the version block 3.1.6.0 in Japanese, and every resource of the .res that
the host build embeds, unchanged.

usage: /usr/bin/python3 tests/win/check_exe.py vkupdate.exe vkupdate.res
"""
import struct
import sys

import pefile

ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "advapi32.dll",
                "msvcrt.dll", "version.dll", "shell32.dll", "ole32.dll"}


def res_entries(data):
    """(type, id, language) -> bytes for every entry of a .res file."""
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


def pe_entries(pe):
    """(type, id, language) -> bytes for every resource of the executable."""
    entries = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                s = lang.data.struct
                key = (t.id if t.id is not None else str(t.name), n.id if n.id is not None else str(n.name), lang.id)
                entries[key] = pe.get_data(s.OffsetToData, s.Size)
    return entries


def main(path, res_path):
    pe = pefile.PE(path)
    problems = []
    if pe.FILE_HEADER.Machine != 0x14C:
        problems.append("machine is 0x%x, not i386" % pe.FILE_HEADER.Machine)
    if pe.OPTIONAL_HEADER.Subsystem != 2:
        problems.append("subsystem %d, not the Windows GUI" % pe.OPTIONAL_HEADER.Subsystem)
    dlls = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
    if not dlls <= ALLOWED_DLLS:
        problems.append("imports DLLs that Windows does not have: %s" % sorted(dlls - ALLOWED_DLLS))
    have = pe_entries(pe)
    want = res_entries(open(res_path, "rb").read())
    problems += ["resource %s: missing" % (key,) for key in want if key not in have]
    problems += ["resource %s: differs from the .res" % (key,) for key in want if key in have and have[key] != want[key]]
    problems += ["resource %s: not in the .res" % (key,) for key in have if key not in want]
    found = {(t, n): (lang, data) for (t, n, lang), data in have.items()}
    manifest = found.get((24, 1))
    if manifest is None or b'level="requireAdministrator"' not in manifest[1]:
        problems.append("no manifest asking for administrator rights")
    elif b"Microsoft.Windows.Common-Controls" in manifest[1]:
        problems.append("the manifest asks for visual styles")
    dialog = found.get((5, 102))
    if dialog is None or dialog[0] != 1041:
        problems.append("dialog 102 missing or not in language 1041")
    if (10, 120) not in found or len(found[(10, 120)][1]) != 4480:
        problems.append("welcome text 120 missing or not 4,480 bytes")
    fixed = pe.VS_FIXEDFILEINFO[0] if hasattr(pe, "VS_FIXEDFILEINFO") else None
    if fixed is None or (fixed.FileVersionMS, fixed.FileVersionLS) != (0x30001, 0x60000):
        problems.append("file version is not 3.1.6.0")
    strings = {}
    for info in getattr(pe, "FileInfo", [[]])[0]:
        for table in getattr(info, "StringTable", []):
            if table.LangID.lower() == b"041104b0":
                strings = {k.decode(): v.decode() for k, v in table.entries.items()}
    if strings.get("FileVersion") != "3, 1, 6, 0" or strings.get("ProductVersion") != "3, 1, 6, 0":
        problems.append("string block 041104b0 lacks FileVersion/ProductVersion 3, 1, 6, 0")
    for problem in problems:
        print("check_exe: %s: %s" % (path, problem))
    if not problems:
        print("check_exe: %s: 32-bit GUI, %d imports, manifest, dialog, welcome text, version 3.1.6.0,"
              " %d resources as in the .res" % (path, len(dlls), len(want)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
