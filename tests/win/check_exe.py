#!/usr/bin/python3
"""Checks the built vkupdate.exe with an independent PE reader (pefile): a 32-bit GUI
program that needs no MinGW DLLs, carries the administrator manifest, the dialog, the
welcome text and the version block 3.1.6.0 in Japanese, and every resource of the .res that
the host build embeds, unchanged. As the executable ships: it loads on Windows 95 to XP
(subsystem and OS version 4.0, every import by name and on the list below) and, apart from
its stored payloads, stays under the size budget.

usage: /usr/bin/python3 tests/win/check_exe.py vkupdate.exe vkupdate.res
"""
import os
import struct
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                                "scripts"))
import platform_calls  # noqa: E402  the table of platform calls

# Every function the executable may import, by DLL: the platform calls of the table
# platform/platform_calls.def, and what the C and C++ runtime needs today, listed here. Each is
# exported by Windows 95, 98, Me, NT 4.0, 2000 and XP. A new import (a library call that pulls
# in a newer function) fails here until someone has checked that those systems export it and
# added it.
RUNTIME_IMPORTS = {
    # the MinGW start-up code and runtime
    "kernel32.dll": {
        "DeleteCriticalSection", "EnterCriticalSection", "GetModuleHandleA", "GetStartupInfoA",
        "InitializeCriticalSection", "LeaveCriticalSection", "SetUnhandledExceptionFilter", "Sleep",
        "TlsGetValue", "VirtualProtect", "VirtualQuery",
    },
    "user32.dll": {"wsprintfA"},
    # the C runtime every Windows of the family carries
    "msvcrt.dll": {
        "__getmainargs", "__initenv", "__p__acmdln", "__p__commode", "__p__fmode",
        "__set_app_type", "__setusermatherr", "_amsg_exit", "_cexit", "_initterm", "_iob",
        "_onexit", "abort", "calloc", "exit", "fprintf", "free", "fwrite", "malloc", "memcpy",
        "memmove", "memset", "signal", "strcmp", "strlen", "strncmp", "strrchr", "vfprintf",
    },
}
ALLOWED_IMPORTS = platform_calls.imports()
for dll, names in RUNTIME_IMPORTS.items():
    ALLOWED_IMPORTS.setdefault(dll, set()).update(names)

# The executable without its stored payloads (RCDATA 130 to 170) stays under this many bytes.
SIZE_BUDGET = 96 * 1024
PAYLOAD_IDS = range(130, 171)


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
    o = pe.OPTIONAL_HEADER
    for what, version in (("subsystem", (o.MajorSubsystemVersion, o.MinorSubsystemVersion)),
                          ("OS", (o.MajorOperatingSystemVersion, o.MinorOperatingSystemVersion))):
        if version != (4, 0):
            problems.append("%s version %d.%d, not 4.0: Windows 95 and NT 4.0 refuse it" % ((what,) + version))
    dlls = set()
    for entry in pe.DIRECTORY_ENTRY_IMPORT:
        dll = entry.dll.decode().lower()
        dlls.add(dll)
        allowed = ALLOWED_IMPORTS.get(dll)
        if allowed is None:
            problems.append("imports %s, which is not on the list" % dll)
            continue
        for imported in entry.imports:
            if imported.name is None:
                problems.append("imports %s by ordinal %d" % (dll, imported.ordinal))
            elif imported.name.decode() not in allowed:
                problems.append("imports %s!%s, which is not on the list" % (dll, imported.name.decode()))
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
    size = len(pe.__data__)
    payloads = [len(data) for (t, n, lang), data in have.items() if t == 10 and n in PAYLOAD_IDS]
    print("check_exe: %s: %d bytes, %d payloads of %d bytes, %d bytes without them (budget %d)"
          % (path, size, len(payloads), sum(payloads), size - sum(payloads), SIZE_BUDGET))
    if len(payloads) != len(PAYLOAD_IDS):
        problems.append("%d payloads stored, not %d" % (len(payloads), len(PAYLOAD_IDS)))
    if size - sum(payloads) >= SIZE_BUDGET:
        problems.append("%d bytes without the payloads, over the budget of %d" % (size - sum(payloads), SIZE_BUDGET))
    for problem in problems:
        print("check_exe: %s: %s" % (path, problem))
    if not problems:
        print("check_exe: %s: 32-bit GUI for Windows 4.0, %d DLLs imported as listed, manifest, dialog,"
              " welcome text, version 3.1.6.0, %d resources as in the .res" % (path, len(dlls), len(want)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
