#!/usr/bin/python3
"""Reads an emulated machine (made by vkmachine) from outside, independently of the host build:
its registry.reg with the journal of the changes saved since (registry.journal), and its drive
folders.

  machine_view.py query MACHINE KEY [NAME]   the values of KEY (or the data of one value);
                                             "@" names the default value
  machine_view.py pending MACHINE            the operations pending until restart, one a line
  machine_view.py changes BEFORE AFTER       what changed between two copies of a machine
  machine_view.py path MACHINE PATH          the host path of a Windows path of the machine
                                             (names matched without regard to case)

KEY is written as Windows writes it (HKLM\\..., HKCU\\... or the long root names); key and value
names are matched without regard to case.
"""
import hashlib
import os
import sys
import zlib

ROOTS = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}
SESSION_MANAGER = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"
PENDING = "PendingFileRenameOperations"
TYPES = {1: "REG_SZ", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD", 7: "REG_MULTI_SZ"}


def long_key(key):
    head, _, rest = key.partition("\\")
    head = ROOTS.get(head.upper(), head.upper())
    return head + ("\\" + rest if rest else "")


def unquote(text, at):
    """The quoted string starting at text[at] == '"', and the index after its closing quote."""
    out, i = [], at + 1
    while text[i] != '"':
        if text[i] == "\\":
            i += 1
        out.append(text[i])
        i += 1
    return "".join(out), i + 1


def decode(data):
    """(type, shown value) of one value's data as the file writes it."""
    if data.startswith('"'):
        return 1, unquote(data, 0)[0]
    if data.startswith("dword:"):
        return 4, int(data[6:], 16)
    kind, _, items = data.partition(":")
    raw = bytes(int(b, 16) for b in items.replace("\\", "").replace(" ", "").split(",") if b)
    vtype = 3 if kind == "hex" else int(kind[4:-1], 16)
    if vtype in (1, 2, 7):
        text = raw.decode("utf-16-le", "surrogatepass")
        if vtype == 7:
            return 7, text.rstrip("\0").split("\0") if text.strip("\0") else []
        return vtype, text[:-1] if text.endswith("\0") else text
    return vtype, raw.hex()


def apply_lines(keys, lines):
    """Applies .reg lines to `keys`: "[key]" makes a key and names the key of the values below
    it, "[-key]" deletes a key with the keys below it, "name"=- deletes a value."""
    current = None
    i = 0
    while i < len(lines):
        line = lines[i].strip()
        while line.endswith("\\") and not line.startswith("[") and i + 1 < len(lines):
            i += 1
            line = line[:-1] + lines[i].strip()
        i += 1
        if line.startswith("[-"):
            gone = line[2:-1].upper()
            for key in [k for k in keys if k == gone or k.startswith(gone + "\\")]:
                del keys[key]
            current = None
        elif line.startswith("["):
            name = line[1:-1]
            current = keys.setdefault(name.upper(), (name, {}))[1]
        elif current is not None and (line.startswith('"') or line.startswith("@=")):
            if line.startswith("@="):
                name, rest = "", line[2:]
            else:
                name, after = unquote(line, 0)
                rest = line[after + 1:].strip()
            if rest == "-":
                current.pop(name.lower(), None)
                continue
            vtype, value = decode(rest)
            current[name.lower()] = (name, vtype, value)


def journal_records(machine, stamp):
    """The texts of the whole records of the journal that goes with registry.reg's `stamp`:
    each ends with "; commit " and the CRC-32 of its lines; the first one that does not (cut off
    by a kill, or damaged) ends the journal."""
    try:
        with open(os.path.join(machine, "registry.journal"), "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return []
    header = ("Windows Registry Editor Version 5.00\n; journal %s\n\n" % stamp).encode("utf-8")
    if not data.startswith(header):
        return []  # the journal of an older registry.reg, whose records it holds
    records, start, pos = [], len(header), len(header)
    while True:
        end = data.find(b"\n", pos)
        if end < 0:
            return records
        line = data[pos:end]
        if line.startswith(b"; commit "):
            crc = line[len(b"; commit "):]
            if len(crc) != 8 or any(c not in b"0123456789abcdefABCDEF" for c in crc) \
                    or zlib.crc32(data[start:pos]) != int(crc, 16):
                return records
            records.append(data[start:pos].decode("utf-8"))
            start = end + 1
        pos = end + 1


def load_registry(machine):
    """{KEY (upper case): (key as written, {name (lower case): (name, type, value)})}: registry.reg
    and the changes its journal (registry.journal) holds."""
    keys = {}
    with open(os.path.join(machine, "registry.reg"), encoding="utf-8") as f:
        lines = f.read().split("\n")
    apply_lines(keys, lines)
    second = lines[1].strip() if len(lines) > 1 else ""
    if second.startswith("; journal "):
        for record in journal_records(machine, second[len("; journal "):]):
            apply_lines(keys, record.split("\n"))
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
    """The pending operations as (source, target) pairs; an empty target deletes the source."""
    value = keys.get(SESSION_MANAGER.upper(), (None, {}))[1].get(PENDING.lower())
    if value is None:
        return []
    # Names come in pairs, source then target, each "\\??\\" + path; "!" before a target asks
    # to replace it; an empty target deletes the source (the list's trailing empty strings are
    # already gone, so a missing last target is a delete too).
    names = [name.lstrip("!") for name in value[2]]
    names = [name[4:] if name.startswith("\\??\\") else name for name in names]
    return [(names[i], names[i + 1] if i + 1 < len(names) else "") for i in range(0, len(names), 2)]


def pending(machine):
    for source, target in pending_operations(load_registry(machine)):
        print("%s -> %s" % (source, target) if target else "delete %s" % source)
    return 0


def windows_path(rel):
    """drive_c/Program Files/x -> C:\\Program Files\\x"""
    drive, _, rest = rel.partition(os.sep)
    return drive[-1].upper() + ":\\" + rest.replace(os.sep, "\\")


def file_hashes(machine):
    out = {}
    for drive in sorted(os.listdir(machine)):
        if not drive.startswith("drive_"):
            continue
        for folder, _, files in os.walk(os.path.join(machine, drive)):
            for name in files:
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    out[os.path.relpath(path, machine)] = hashlib.sha1(f.read()).hexdigest()
    return out


def listing(names, limit=4):
    names = sorted(names, key=str.lower)
    text = ", ".join(names[:limit])
    return text + (", ..." if len(names) > limit else "")


def changes(before, after):
    lines = []
    old, new = file_hashes(before), file_hashes(after)
    folders = {}
    for rel in set(old) | set(new):
        if old.get(rel) == new.get(rel):
            continue
        kind = "new" if rel not in old else "removed" if rel not in new else "replaced"
        folder, name = os.path.split(rel)
        folders.setdefault(windows_path(folder), {}).setdefault(kind, []).append(name)
    for folder in sorted(folders):
        parts = ["%d %s (%s)" % (len(names), kind, listing(names))
                 for kind, names in sorted(folders[folder].items(), key=lambda kv: kv[0] != "replaced")]
        lines.append("  files    %s\n           %s" % (folder, "; ".join(parts)))

    old_keys, new_keys = load_registry(before), load_registry(after)
    for upper, (key, values) in sorted(new_keys.items()):
        old_values = old_keys.get(upper, (key, {}))[1]
        changed = [v for n, v in sorted(values.items())
                   if old_values.get(n) != v and not (upper == SESSION_MANAGER.upper() and n == PENDING.lower())]
        if changed:
            what = "new key" if upper not in old_keys else "set"
            text = ", ".join("%s=%s" % (name or "@", shown(vtype, value)) for name, vtype, value in changed)
            lines.append("  registry %s\n           %s: %s" % (key, what, text))

    ops = pending_operations(new_keys)
    if ops:
        lines.append("  pending until the next restart:")
        for source, target in ops:
            lines.append("           " + ("%s -> %s" % (source, target) if target else "delete %s" % source))
    print("\n".join(lines) if lines else "  nothing changed")
    return 0


def find_host_path(machine, path):
    """C:\\a\\b -> MACHINE/drive_c/a/b, each existing name in its stored letter case."""
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
    if len(argv) >= 3 and argv[0] == "query":
        return query(argv[1], argv[2], argv[3] if len(argv) > 3 else None)
    if len(argv) == 2 and argv[0] == "pending":
        return pending(argv[1])
    if len(argv) == 3 and argv[0] == "path":
        return host_path(argv[1], argv[2])
    if len(argv) == 3 and argv[0] == "changes":
        return changes(argv[1], argv[2])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
