#!/usr/bin/python3
"""Checks the built vkupdate.exe with an independent PE reader (pefile): a 32-bit GUI
program that needs no MinGW DLLs, carries the administrator manifest, the dialog, the
welcome text and the version block 3.1.6.0 in Japanese, and every resource of the .res that
the host build embeds, unchanged. As the executable ships: it loads on Windows 95 to XP
(subsystem and OS version 4.0, no C runtime library, every import by name from a library each
family loads from the system folder, and exported by Windows 95 and NT 4.0, as the lists below
say) and, apart from its stored payloads, stays under the size budget.

usage: /usr/bin/python3 tests/win/check_exe.py vkupdate.exe vkupdate.res
"""
import os
import struct
import sys

import pefile

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                                "tools"))
from pylib import platform_calls  # noqa: E402  the table of platform calls

# Where each library the executable imports is known to come from the system folder, whatever
# lies beside the program, on every Windows family it runs on. A library off this table (it would
# be looked for first in the folder the updater was started from) is refused: load it at run time
# from the system folder by full path instead (platform/win32/system_libraries.cpp).
#  - NT 4.0: the default values of HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs
#    that Microsoft Knowledge Base article Q102985 lists (advapi32, comdlg32, crtdll, gdi32,
#    kernel32, lz32, olecli32, olesvr32, rpcrt4, shell32, user32, version; DllDirectory
#    %SystemRoot%\system32); Q164501, "Windows NT/2000/XP Uses KnownDLLs Registry Entry to Find
#    DLLs", says implicitly loaded 32-bit DLLs on those names come from there.
#  - 2000 and XP: the same key and rule (Q164501); their lists extend NT 4.0's, and "Search Path
#    Used by Windows to Locate a DLL" (Visual C++ documentation) names Kernel32.dll and User32.dll
#    as known DLLs searched before the program's folder.
#  - 95/98/Me: Q151646, "Windows 95, Windows 98, or Windows Me Uses KnownDLLs Registry Key to Find
#    32-bit DLLs", gives the mechanism but no default list, so no name is taken from it. KERNEL32,
#    USER32 and GDI32 are the system's own 32-bit core, loaded at start-up into the shared memory
#    of every process before a program's imports are resolved; "Dynamic-Link Library Search
#    Order": a DLL whose module name is already loaded is used, whatever lies in other folders.
KNOWN_SYSTEM_LIBRARIES = {
    "kernel32.dll": ("95/98/Me: system core, loaded before any program",
                     "NT 4.0, 2000, XP: KnownDLLs (Q102985, Q164501)"),
    "user32.dll": ("95/98/Me: system core, loaded before any program",
                   "NT 4.0, 2000, XP: KnownDLLs (Q102985, Q164501)"),
    "gdi32.dll": ("95/98/Me: system core, loaded before any program",
                  "NT 4.0, 2000, XP: KnownDLLs (Q102985, Q164501)"),
}

# The first Windows releases of each family whose library exports each function the executable
# may import, from Microsoft's documentation of the function (the Requirements of the Platform
# SDK reference: "Windows 95/98/Me: Included in Windows 95 and later", "Windows NT/2000/XP:
# Included in Windows NT 3.1 and later"). Each must be Windows 95 and NT 4.0 or earlier. A new
# import fails here until someone has looked its requirements up and added it.
W95_NT31 = ("95", "3.1")
FIRST_EXPORTED = {
    "kernel32.dll": {
        # the platform calls of platform/platform_calls.def
        "CloseHandle": W95_NT31, "CopyFileA": W95_NT31, "CreateDirectoryA": W95_NT31,
        "CreateFileA": W95_NT31, "DeleteFileA": W95_NT31, "FindClose": W95_NT31,
        "FindFirstFileA": W95_NT31, "FindNextFileA": W95_NT31, "FindResourceExA": W95_NT31,
        "FreeLibrary": W95_NT31, "GetACP": W95_NT31, "LoadLibraryA": W95_NT31, "GetCurrentProcess": W95_NT31,
        "GetDiskFreeSpaceA": W95_NT31, "GetFileAttributesA": W95_NT31, "GetLastError": W95_NT31,
        "GetModuleFileNameA": W95_NT31,
        "GetProcAddress": W95_NT31, "GetSystemDirectoryA": W95_NT31, "GetTempPathA": W95_NT31,
        "GetVersionExA": ("95", "3.5"), "IsDBCSLeadByte": W95_NT31, "LoadResource": W95_NT31,
        "LockResource": W95_NT31, "MoveFileA": W95_NT31,
        # exported by 95/98/Me, where it fails with ERROR_CALL_NOT_IMPLEMENTED (the updater knows)
        "MoveFileExA": W95_NT31,
        "MultiByteToWideChar": W95_NT31, "ReadFile": W95_NT31, "RemoveDirectoryA": W95_NT31,
        "SetFileAttributesA": W95_NT31, "SetLastError": W95_NT31, "SizeofResource": W95_NT31,
        "WriteFile": W95_NT31, "lstrcmpiA": W95_NT31,
        # the platform layer's own: libraries loaded by full path (runtime/, system_libraries.cpp)
        "LoadLibraryExA": W95_NT31,
        # the executable's own start-up and heap (runtime/win32/)
        "ExitProcess": W95_NT31, "GetCommandLineA": W95_NT31, "GetModuleHandleA": W95_NT31,
        "GetStartupInfoA": W95_NT31, "GetProcessHeap": W95_NT31, "HeapAlloc": W95_NT31,
        "HeapFree": W95_NT31,
    },
    "user32.dll": {
        "BeginPaint": W95_NT31, "DialogBoxParamA": W95_NT31, "EnableWindow": W95_NT31,
        "EndDialog": W95_NT31, "EndPaint": W95_NT31, "ExitWindowsEx": W95_NT31,
        "GetDlgItem": W95_NT31, "GetParent": W95_NT31, "GetWindowLongA": W95_NT31,
        "GetWindowRect": W95_NT31, "LoadBitmapA": W95_NT31, "LoadStringA": W95_NT31,
        "MessageBoxA": W95_NT31, "ScreenToClient": W95_NT31, "SendDlgItemMessageA": W95_NT31,
        "SetWindowTextA": W95_NT31,
    },
    "gdi32.dll": {
        "DeleteObject": W95_NT31, "GetStockObject": W95_NT31, "SetBkColor": W95_NT31,
        "SetTextColor": W95_NT31,
    },
}
# No C runtime library at all: not every Windows 95 carries msvcrt.dll, and the copies of the
# families differ in what they export.
C_RUNTIMES = {"msvcrt.dll", "crtdll.dll", "msvcr70.dll", "msvcr71.dll", "msvcr80.dll", "ucrtbase.dll"}


# Every platform call the table says the executable imports is on the list above.
for _dll, _names in platform_calls.imports().items():
    if _dll in KNOWN_SYSTEM_LIBRARIES:
        assert _names <= set(FIRST_EXPORTED[_dll]), "%s: %s" % (_dll, _names - set(FIRST_EXPORTED[_dll]))


def release_number(text):
    return tuple(int(part) for part in text.split("."))


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
    listed = []
    for entry in pe.DIRECTORY_ENTRY_IMPORT:
        dll = entry.dll.decode().lower()
        dlls.add(dll)
        if dll in C_RUNTIMES or dll.startswith("api-ms-win-crt"):
            problems.append("imports the C runtime %s (%d functions)" % (dll, len(entry.imports)))
            continue
        if dll not in KNOWN_SYSTEM_LIBRARIES:
            problems.append("imports %s, which not every family loads from the system folder: load it by"
                            " full path at run time" % dll)
            continue
        exported = FIRST_EXPORTED.get(dll, {})
        for imported in entry.imports:
            if imported.name is None:
                problems.append("imports %s by ordinal %d" % (dll, imported.ordinal))
                continue
            name = imported.name.decode()
            first = exported.get(name)
            if first is None:
                problems.append("imports %s!%s, whose first Windows releases are not on the list" % (dll, name))
            elif release_number(first[0]) > (95,) or release_number(first[1]) > (4, 0):
                problems.append("imports %s!%s, first exported by Windows %s and NT %s" % ((dll, name) + first))
            else:
                listed.append("%s!%s: Windows %s, NT %s" % (dll, name, first[0], first[1]))
    print("check_exe: %d imported functions, each with the first releases exporting it:" % len(listed))
    for line in sorted(listed):
        print("  " + line)
    for dll in sorted(dlls & set(KNOWN_SYSTEM_LIBRARIES)):
        print("  %s from the system folder on every family: %s" % (dll, "; ".join(KNOWN_SYSTEM_LIBRARIES[dll])))
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
        print("check_exe: %s: 32-bit GUI for Windows 4.0, %d system DLLs imported as listed, manifest, dialog,"
              " welcome text, version 3.1.6.0, %d resources as in the .res" % (path, len(dlls), len(want)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
