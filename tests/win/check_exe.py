#!/usr/bin/python3
"""Checks the built vkupdate.exe with an independent PE reader (pefile): a 32-bit GUI
program that needs no MinGW DLLs, carries the administrator manifest, the dialog, the
string table and the version block 3.1.6.0 in Japanese."""
import sys

import pefile

ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "advapi32.dll",
                "msvcrt.dll", "version.dll", "shell32.dll", "ole32.dll"}


def resources(pe):
    """Yields (type id, name id, language, bytes) for every resource."""
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in rtype.directory.entries:
            for lang in name.directory.entries:
                entry = lang.data.struct
                data = pe.get_data(entry.OffsetToData, entry.Size)
                yield rtype.id, name.id, lang.id, data


def main(path):
    pe = pefile.PE(path)
    problems = []
    if pe.FILE_HEADER.Machine != 0x14C:
        problems.append("machine is 0x%x, not i386" % pe.FILE_HEADER.Machine)
    if pe.OPTIONAL_HEADER.Subsystem != 2:
        problems.append("subsystem %d, not the Windows GUI" % pe.OPTIONAL_HEADER.Subsystem)
    dlls = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
    if not dlls <= ALLOWED_DLLS:
        problems.append("imports DLLs that Windows does not have: %s" % sorted(dlls - ALLOWED_DLLS))
    found = {(t, n): (lang, data) for t, n, lang, data in resources(pe)}
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
        print("check_exe: %s: 32-bit GUI, %d imports, manifest, dialog, welcome text, version 3.1.6.0"
              % (path, len(dlls)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
