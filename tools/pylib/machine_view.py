#!/usr/bin/python3
"""Reads an emulated machine (made by vkmachine) from outside, independently of the host build:
its registry.reg with the journal of the changes saved since (registry.journal), and its drive
folders.

  machine_view.py query MACHINE KEY [NAME]   the values of KEY (or the data of one value);
                                             "@" names the default value
  machine_view.py pending MACHINE            the operations pending until restart, one a line;
                                             "(replace existing)" marks a rename that may replace
                                             its target (REG_MULTI_SZ, or REG_SZ as other
                                             software may leave it)
  machine_view.py changes BEFORE AFTER       what changed between two copies of a machine
  machine_view.py files BEFORE AFTER         the files alone, of any two folders holding
                                             drive_c (a machine, a Wine prefix) or snapshots
  machine_view.py snapshot FOLDER FILE       keeps the files' hashes of FOLDER in FILE, to be
                                             given to files as BEFORE
  machine_view.py path MACHINE PATH          the host path of a Windows path of the machine
                                             (names matched without regard to case)

KEY is written as Windows writes it (HKLM\\..., HKCU\\... or the long root names); key and value
names are matched without regard to case. A folder that is no machine, or a file of the machine
that cannot be read whole (machine.ini as the host vkupdate reads it, a damaged journal), is
an error of one line and exit code 1; a wrong command line, one line and exit code 2.
"""
import hashlib
import json
import os
import re
import sys
import threading
import zlib

ROOTS = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}
SESSION_MANAGER = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"
PENDING = "PendingFileRenameOperations"
HEX_ITEMS = re.compile("[0-9a-fA-F,]*")
NOT_TWO = re.compile(r"[^,]{3}|(?<![^,])[^,](?![^,])")  # an item of one character, or of three or more
TYPES = {1: "REG_SZ", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD", 7: "REG_MULTI_SZ"}


def long_key(key):
    head, _, rest = key.partition("\\")
    head = ROOTS.get(head.upper(), head.upper())
    return head + ("\\" + rest if rest else "")


class Damaged(Exception):
    """A machine, or one of its files, that cannot be read: the message says which and why."""


def unquote(text, at):
    """The quoted string starting at text[at] == '"', and the index after its closing quote."""
    out, i = [], at + 1
    while i < len(text) and text[i] != '"':
        if text[i] == "\\":
            i += 1
        out.append(text[i:i + 1])
        i += 1
    if i >= len(text):
        raise ValueError("string without its closing quote")
    return "".join(out), i + 1


def value_bytes(data):
    """(type, stored bytes) of one value's data as the file writes it; strings as UTF-16LE."""
    if data.startswith('"'):
        text, end = unquote(data, 0)
        if end != len(data):
            raise ValueError("text after the closing quote")
        return 1, (text + "\0").encode("utf-16-le", "surrogatepass")
    if data.startswith("dword:"):
        if len(data) != 14 or data[6:].strip("0123456789abcdefABCDEF"):
            raise ValueError("dword: needs 8 hex digits")
        return 4, int(data[6:], 16).to_bytes(4, "little")
    kind, colon, items = data.partition(":")
    if not colon or not (kind == "hex" or (kind.startswith("hex(") and kind.endswith(")"))):
        raise ValueError("unknown data \"%s\"" % data[:20])
    items = items.replace("\\", "").replace(" ", "")
    # Checked whole first: a value of a megabyte is two million items.
    bad = [] if HEX_ITEMS.fullmatch(items) and not NOT_TWO.search(items) else \
        [b for b in items.split(",") if b and (len(b) != 2 or b.strip("0123456789abcdefABCDEF"))]
    if bad or (kind != "hex" and kind[4:-1].strip("0123456789abcdefABCDEF")) or kind == "hex()":
        raise ValueError("\"%s\" is not hex" % (bad[0] if bad else kind))
    return (3 if kind == "hex" else int(kind[4:-1], 16)), bytes.fromhex(items.replace(",", ""))


def decode(data):
    """(type, shown value) of one value's data as the file writes it."""
    vtype, raw = value_bytes(data)
    if data.startswith("dword:"):
        return 4, int.from_bytes(raw, "little")
    if vtype in (1, 2, 7):
        text = raw.decode("utf-16-le", "surrogatepass")
        if vtype == 7:
            return 7, text.rstrip("\0").split("\0") if text.strip("\0") else []
        return vtype, text[:-1] if text.endswith("\0") else text
    return vtype, raw.hex()


def read_text(path):
    """The whole text of a file of the machine (UTF-8, or UTF-16 with its byte-order mark)."""
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except FileNotFoundError:
        raise Damaged("%s is missing" % path)
    except OSError as e:
        raise Damaged("%s cannot be read: %s" % (path, e.strerror))
    try:
        if raw.startswith(b"\xff\xfe"):
            return raw[2:].decode("utf-16-le")
        return raw.decode("utf-8-sig")
    except UnicodeDecodeError:
        raise Damaged("%s is not UTF-8 or UTF-16 text" % path)


def check_folder(machine):
    """Refuses what is not a folder."""
    if not os.path.exists(machine):
        raise Damaged("no machine folder %s" % machine)
    if not os.path.isdir(machine):
        raise Damaged("%s is not a folder: a machine is a folder made by vkmachine create" % machine)


CODEPAGES = (" is not a code page the machine can use: give a Windows ANSI code page such as 932 (Japanese), "
             "936, 949, 950, 874 or 1250 to 1258")
INI_KEYS = {"windows": {"platform": (1, 2, "platform must be 1 or 2"),
                        "major": (0, 255, "major must be a number 0-255"),
                        "minor": (0, 255, "minor must be a number 0-255"),
                        "codepage": (0, 65535, None),
                        "admin": (0, 1, "admin must be 0 or 1"),
                        "shfolder": (0, 1, "shfolder must be 0 or 1"),
                        "shortnames": (0, 1, "shortnames must be 0 or 1")},
            "folders": {"temp": None, "system": None, "documents": None, "programfiles": None},
            # the size of a drive in bytes, by its letter
            "drives": {chr(c): None for c in range(ord("A"), ord("Z") + 1)}}


def read_ini(path):
    """machine.ini as {key: value}, refused as the host build refuses it: a line that is no
    comment, section or known key, a value out of its range, a key given twice (every key has
    its default)."""
    seen, section, codepage, folders = {}, "", 932, {}
    for number, line in enumerate(read_text(path).split("\n"), 1):
        line = line.strip(" \t\r")
        where = "%s:%d: " % (path, number)
        if not line or line[0] in "#;":
            continue
        if line[0] == "[":
            if not line.endswith("]"):
                raise Damaged(where + "section header without ']'")
            section = line[1:-1].strip(" \t\r")
            if section not in INI_KEYS:
                raise Damaged(where + "unknown section [%s] (known: [windows], [folders], [drives])" % section)
            continue
        key, eq, value = line.partition("=")
        key, value = key.strip(" \t\r"), value.strip(" \t\r")
        if section == "drives":
            key = key.upper()
            if key not in INI_KEYS[section]:
                raise Damaged(where + "a drive is a letter A to Z, not \"%s\"" % key)
        if not eq:
            raise Damaged(where + "expected key = value")
        if not section:
            raise Damaged(where + "key \"%s\" outside a section" % key)
        if key not in INI_KEYS[section]:
            raise Damaged(where + "unknown key \"%s\" in [%s]" % (key, section))
        if (section, key) in seen:
            raise Damaged(where + "key \"%s\" given twice in [%s] (first on line %d)"
                          % (key, section, seen[(section, key)]))
        seen[(section, key)] = number
        if section == "folders":
            if len(value) < 3 or value[1:3] != ":\\":
                raise Damaged(where + "%s must be a full Windows path such as C:\\WINDOWS" % key)
            folders[key] = value
            continue
        if section == "drives":
            if not value.isdigit() or int(value) == 0:
                raise Damaged(where + "the size of drive %s: must be a number of bytes above 0" % key)
            continue
        low, high, why = INI_KEYS[section][key]
        if not value.isdigit() or not low <= int(value) <= high:
            raise Damaged(where + (why or "codepage %s%s" % (value, CODEPAGES)))
        if key == "codepage":
            codepage = int(value)
    try:
        "C".encode("cp%d" % codepage)
    except LookupError:
        raise Damaged("%s: codepage %d%s" % (path, codepage, CODEPAGES))
    for key, value in folders.items():
        try:
            value.encode("cp%d" % codepage)
        except UnicodeEncodeError:
            raise Damaged("%s: folder \"%s\" cannot be written in code page %d" % (path, value, codepage))
    return {key: value for (_, key), value in seen.items()}


def check_machine(machine):
    """Refuses what is not a machine folder, and a machine whose machine.ini does not read."""
    check_folder(machine)
    if not os.path.exists(os.path.join(machine, "machine.ini")):
        raise Damaged("%s is not a machine (no machine.ini)" % machine)
    read_ini(os.path.join(machine, "machine.ini"))


def first_char(parts):
    """The first character of the pieces joined, or ""."""
    return next((part[0] for part in parts if part), "")


def last_filled(parts):
    """The index of the last piece that is not empty (it ends the pieces joined), or None."""
    return next((n for n in range(len(parts) - 1, -1, -1) if parts[n]), None)


def apply_lines(keys, lines, where, reader, first=1):
    """Applies .reg lines to `keys`: "[key]" makes a key and names the key of the values below
    it, "[-key]" deletes a key with the keys below it, "name"=- deletes a value. Raises
    Damaged, naming `where` and the line (counted from `first`), for a line that
    is neither."""
    current = None
    i = 0
    while i < len(lines):
        number, parts = i + first, [lines[i].lstrip(" \t")]
        # A line ending with a backslash goes on in the next, stripped. The pieces are joined
        # once, as a value of a megabyte spans tens of thousands of lines.
        last = last_filled(parts)
        while last is not None and parts[last].endswith("\\") and (parts[0][:1] or first_char(parts)) != "[" \
                and i + 1 < len(lines):
            parts[last] = parts[last][:-1]
            i += 1
            parts.append(lines[i].strip())
            last = len(parts) - 1 if parts[-1] else last_filled(parts)
        line = "".join(parts)
        i += 1
        if not line or line.startswith(";"):
            continue
        try:
            if line.startswith("["):
                if not line.endswith("]"):
                    raise ValueError("key line without its closing ']'")
                if line.startswith("[-"):
                    gone = line[2:-1].upper()
                    for key in [k for k in keys if k == gone or k.startswith(gone + "\\")]:
                        del keys[key]
                    current = None
                    continue
                name = line[1:-1]
                current = keys.setdefault(name.upper(), (name, {}))[1]
                continue
            if current is None:
                raise ValueError("value before the first [key]")
            if line.startswith("@="):
                name, rest = "", line[2:]
            elif line.startswith('"'):
                name, after = unquote(line, 0)
                if line[after:after + 1] != "=":
                    raise ValueError("expected = after the value's name")
                rest = line[after + 1:]
            else:
                raise ValueError("neither a [key] nor a value")
            if rest.strip() == "-":
                current.pop(name.lower(), None)
                continue
            vtype, value = reader(rest)
        except ValueError as e:
            raise Damaged("%s:%d: %s" % (where, number, e))
        current[name.lower()] = (name, vtype, value)


COMMIT = b"; commit "


def journal_records(machine, stamp):
    """(first line, text) of the whole records of the journal that goes with registry.reg's
    `stamp`: each ends with "; commit " and the CRC-32 of its lines. After the last one only a
    record cut off by a kill may follow; raises Damaged, naming the line, for a record whole by
    its commit line that fails its check, or for any other text."""
    path = os.path.join(machine, "registry.journal")
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return []
    lines = data.split(b"\n")  # the last item: the text after the last line break
    head = b"Windows Registry Editor Version 5.00"
    if len(lines) < 4 or lines[0] != head or not lines[1].startswith(b"; journal ") or lines[2]:
        if any(line.startswith(COMMIT) for line in lines[:-1]):
            bad = 1 if lines[0] != head else 2 if len(lines) < 3 or not lines[1].startswith(b"; journal ") else 3
            raise Damaged("%s:%d: the journal is damaged: its header is not whole, and records follow" % (path, bad))
        return []  # being made
    records, first = [], 4
    for number in range(4, len(lines)):
        line = lines[number - 1]
        if number == len(lines) or not line.startswith(COMMIT):
            continue
        body = b"".join(l + b"\n" for l in lines[first - 1:number - 1])
        crc = line[len(COMMIT):]
        if len(crc) != 8 or crc.strip(b"0123456789abcdefABCDEF") or zlib.crc32(body) != int(crc, 16):
            raise Damaged("%s:%d: the journal is damaged: the record of lines %d to %d fails its check"
                          % (path, number, first, number))
        records.append((first, body.decode("utf-8")))
        first = number + 1
    # What follows: a record cut off, the writer's lines (no comment but a commit line's
    # beginning, last), a value continued past the cut read up to where it began.
    tail = [l.decode("utf-8", "replace") for l in lines[first - 1:]]
    for n, line in enumerate(tail):
        text = line.lstrip(" \t")
        digits = text[len(COMMIT):]
        if text.startswith(";") and (n + 1 < len(tail) or not COMMIT.decode().startswith(text[:len(COMMIT)])
                                     or len(digits) > 8 or digits.strip("0123456789abcdef")):
            raise Damaged("%s:%d: the journal is damaged: a line no record holds" % (path, first + n))
    whole = tail[:-1]
    while whole and whole[-1].rstrip(" \t\r").endswith("\\"):
        whole.pop()
    try:
        apply_lines({}, whole, path, decode, first=first)
    except Damaged as e:
        raise Damaged("%s (the journal is damaged)" % e)
    return records if lines[1][len(b"; journal "):].decode("utf-8", "replace") == stamp else []


def load_registry(machine, reader=decode):
    """{KEY (upper case): (key as written, {name (lower case): (name, type, value)})}: registry.reg
    and the changes its journal (registry.journal) holds, each value as `reader` gives it
    (decode: shown; value_bytes: the stored bytes); raises Damaged, naming the line, for a file
    that is not a whole registry file."""
    check_machine(machine)
    path = os.path.join(machine, "registry.reg")
    lines = [line.rstrip(" \t\r") for line in read_text(path).split("\n")]
    if lines[0] != "Windows Registry Editor Version 5.00":
        raise Damaged("%s:1: not a registry file" % path)
    # Every whole file ends with a blank line: one without it was cut off.
    if len(lines) < 3 or lines[-1] or lines[-2]:
        raise Damaged("%s: the file does not end with a blank line: it was cut off" % path)
    keys = {}
    apply_lines(keys, lines[1:], path, reader, first=2)
    second = lines[1].strip()
    if second.startswith("; journal "):
        journal = os.path.join(machine, "registry.journal")
        for first, record in journal_records(machine, second[len("; journal "):]):
            apply_lines(keys, record.split("\n"), journal, reader, first=first)
    return keys


def shown(vtype, value):
    if vtype == 7:
        return "|".join(value)
    return str(value)


def query(machine, key, name=None):
    keys = load_registry(machine)
    found = keys.get(long_key(key).upper())
    if found is None:
        print("machine_view: no key %s" % key, file=sys.stderr)
        return 1
    values = found[1]
    if name is not None:
        value = values.get("" if name == "@" else name.lower())
        if value is None:
            print("machine_view: no value %s in %s" % (name, key), file=sys.stderr)
            return 1
        print(shown(value[1], value[2]))
        return 0
    for vname, vtype, value in sorted(values.values()):
        print("%s\t%s\t%s" % (vname or "@", TYPES.get(vtype, "type %d" % vtype), shown(vtype, value)))
    return 0


def pending_operations(keys):
    """The pending operations as (source, target, replace) triples; an empty target deletes the
    source, `replace` marks a rename that may replace an existing target."""
    value = keys.get(SESSION_MANAGER.upper(), (None, {}))[1].get(PENDING.lower())
    if value is None:
        return []
    # Names come in pairs, source then target, each "\\??\\" + path; "!" before a target asks
    # to replace it; an empty target deletes the source (the list's trailing empty strings are
    # already gone, so a missing last target is a delete too). A REG_SZ left by other software
    # holds the same NUL-separated names.
    names = value[2] if value[1] == 7 else value[2].rstrip("\0").split("\0") if value[1] in (1, 2) else []
    names = list(names) + [""] * (len(names) % 2)
    ops = []
    for source, target in zip(names[0::2], names[1::2]):
        replace = target.startswith("!")
        source, target = [n[4:] if n.startswith("\\??\\") else n for n in (source, target.lstrip("!"))]
        ops.append((source, target, replace))
    return ops


def operation(source, target, replace):
    if not target:
        return "delete %s" % source
    return "%s -> %s%s" % (source, target, " (replace existing)" if replace else "")


def pending(machine):
    for op in pending_operations(load_registry(machine)):
        print(operation(*op))
    return 0


def windows_path(rel):
    """drive_c/Program Files/x -> C:\\Program Files\\x"""
    drive, _, rest = rel.partition(os.sep)
    return drive[-1].upper() + ":\\" + rest.replace(os.sep, "\\")


READS = threading.local()  # each thread's buffer for file_sha1


def file_sha1(path):
    """The SHA-1 of a file, read a megabyte at a time into a buffer each thread keeps: reading
    a file of megabytes into new memory each time took longer than hashing it."""
    if not hasattr(READS, "buffer"):
        READS.buffer = bytearray(1 << 20)
        READS.view = memoryview(READS.buffer)
    digest = hashlib.sha1()
    with open(path, "rb", buffering=0) as f:
        while True:
            n = f.readinto(READS.buffer)
            if not n:
                return digest.hexdigest()
            digest.update(READS.view[:n])


def file_hashes(machine):
    """{path below the folder: SHA-1} of every file of its drive_* folders."""
    check_folder(machine)
    out = {}
    for drive in sorted(os.listdir(machine)):
        if not drive.startswith("drive_"):
            continue
        for folder, _, files in os.walk(os.path.join(machine, drive)):
            for name in files:
                path = os.path.join(folder, name)
                out[os.path.relpath(path, machine)] = file_sha1(path)
    return out


def file_attributes(machine):
    """The Windows attributes of a file of the machine, as a function of its path below the
    machine folder. The machine keeps in attributes.txt the bits of the files whose attributes
    are not ARCHIVE alone; no bit at all reads as NORMAL."""
    kept = {}
    table = os.path.join(machine, "attributes.txt")
    if os.path.exists(table):
        with open(table, encoding="utf-8") as f:
            for line in f:
                bits, tab, path = line.rstrip("\n").partition("\t")
                if tab and not line.startswith("#"):
                    kept[path] = int(bits, 16)
    return lambda rel: kept.get(rel.replace(os.sep, "/"), 0x20) or 0x80


def listing(names, limit=4):
    names = sorted(names, key=str.lower)
    text = ", ".join(names[:limit])
    return text + (", ..." if len(names) > limit else "")


def snapshot(folder, file):
    """Keeps the files' hashes in `file`, for a later comparison (files)."""
    hashes = file_hashes(folder)
    with open(file, "w", encoding="utf-8") as f:
        json.dump(hashes, f)
    return 0


def hashes_of(what):
    """The files' hashes of a folder, or as a snapshot file keeps them."""
    if not os.path.isfile(what):
        return file_hashes(what)
    try:
        with open(what, encoding="utf-8") as f:
            return dict(json.load(f))
    except ValueError:
        raise Damaged("%s is neither a folder nor a snapshot" % what)


def file_changes(before, after):
    """Lines saying which files differ, folder by folder."""
    lines = []
    old, new = hashes_of(before), hashes_of(after)
    folders = {}
    # A file gone from one folder and come into another with its name and bytes has moved.
    gone = {(os.path.basename(rel).lower(), old[rel]): rel for rel in old if rel not in new}
    came = {(os.path.basename(rel).lower(), new[rel]): rel for rel in new if rel not in old}
    moved = {}
    for key in set(gone) & set(came):
        moved[gone[key]] = "moved to " + windows_path(os.path.dirname(came[key]))
        moved[came[key]] = "moved here from " + windows_path(os.path.dirname(gone[key]))
    for rel in set(old) | set(new):
        if old.get(rel) == new.get(rel):
            continue
        kind = moved.get(rel) or ("new" if rel not in old else "removed" if rel not in new else "replaced")
        folder, name = os.path.split(rel)
        folders.setdefault(windows_path(folder), {}).setdefault(kind, []).append(name)
    # Replaced first, then moved, removed and new: the same order whatever the hashes.
    order = lambda kv: (["replaced", "moved", "removed", "new"].index(kv[0].split(" ")[0]), kv[0])
    for folder in sorted(folders):
        parts = ["%d %s (%s)" % (len(names), kind, listing(names))
                 for kind, names in sorted(folders[folder].items(), key=order)]
        lines.append("  files    %s\n           %s" % (folder, "; ".join(parts)))
    return lines


def files(before, after):
    print("\n".join(file_changes(before, after)) or "  no file changed")
    return 0


def changes(before, after):
    old_keys, new_keys = load_registry(before), load_registry(after)
    lines = file_changes(before, after)
    for upper, (key, values) in sorted(new_keys.items()):
        old_values = old_keys.get(upper, (key, {}))[1]
        changed = [v for n, v in sorted(values.items())
                   if old_values.get(n) != v and not (upper == SESSION_MANAGER.upper() and n == PENDING.lower())]
        if changed:
            what = "new key" if upper not in old_keys else "set"
            text = ", ".join("%s=%s" % (name or "@", shown(vtype, value)) for name, vtype, value in changed)
            lines.append("  registry %s\n           %s: %s" % (key, what, text))

    # Operations pending from before the run stay first; one the run registered again (a run
    # on a machine not restarted since the last) is told apart from the first.
    old_ops, ops = pending_operations(old_keys), pending_operations(new_keys)
    kept = len(old_ops) if ops[:len(old_ops)] == old_ops else 0
    if ops:
        lines.append("  pending until the next restart:")
        for n, op in enumerate(ops):
            note = ("  [pending from before this run]" if n < kept
                    else "  [registered again by this run]" if op in old_ops else "")
            lines.append("           " + operation(*op) + note)
    print("\n".join(lines) if lines else "  nothing changed")
    return 0


def find_host_path(machine, path):
    """C:\\a\\b -> MACHINE/drive_c/a/b, each existing name in its stored letter case."""
    check_machine(machine)
    return host_path_below(machine, path)


def host_path_below(machine, path):
    """find_host_path in any folder holding drive_c (a machine, a Wine prefix)."""
    if len(path) < 3 or path[1:3] != ":\\":
        raise Damaged("%s is not a full Windows path such as C:\\WINDOWS" % path)
    at = os.path.join(machine, "drive_" + path[0].lower())
    # Names too long for the host are kept under a stand-in "PREFIX:HASH" (longnames.txt).
    long_names = {}
    table = os.path.join(machine, "longnames.txt")
    if os.path.exists(table):
        with open(table, encoding="utf-8") as f:
            long_names = dict(l.rstrip("\n").split("\t", 1) for l in f if "\t" in l and not l.startswith("#"))
    for name in [n for n in path[3:].split("\\") if n]:
        here = os.listdir(at) if os.path.isdir(at) else []
        full = lambda n: long_names.get(n.rsplit(":", 1)[1], n) if ":" in n else n
        match = [n for n in here if full(n).lower() == name.lower()]
        at = os.path.join(at, match[0] if match else name)
    return at


def host_path(machine, path):
    print(find_host_path(machine, path))
    return 0


def main(argv):
    commands = {"query": ((3, 4), query, "MACHINE KEY [NAME]"), "pending": ((2,), pending, "MACHINE"),
                "path": ((3,), host_path, "MACHINE PATH"), "changes": ((3,), changes, "BEFORE AFTER"),
                "files": ((3,), files, "BEFORE AFTER"), "snapshot": ((3,), snapshot, "FOLDER FILE")}
    if argv[:1] in (["--help"], ["-h"]):
        print(__doc__.rstrip("\n"))
        return 0
    counts, command, usage = commands.get(argv[0] if argv else "", ((), None, ""))
    if len(argv) not in counts:
        why = ("no command given" if not argv else "unknown command \"%s\"" % argv[0] if command is None
               else "%s takes %s, not %d argument%s" % (argv[0], usage, len(argv) - 1, "" if len(argv) == 2 else "s"))
        print("machine_view: %s (machine_view.py --help shows the usage)" % why, file=sys.stderr)
        return 2
    try:
        return command(*argv[1:])
    except Damaged as e:
        print("machine_view: %s" % e, file=sys.stderr)
    except OSError as e:
        print("machine_view: %s cannot be read: %s" % (e.filename, e.strerror), file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
