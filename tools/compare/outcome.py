#!/usr/bin/python3
"""The outcome of an update in one normal form, read from an emulated machine (made by
vkmachine) or from a Wine prefix, and the comparison of the two.

  outcome.py keys
      the registry keys the outcome is read from, one a line (for outcome_probe.exe)
  outcome.py folders PROBE
      the folders the outcome is read from in a prefix, one a line (outcome_probe.exe --files)
  outcome.py seed MACHINE PREFIX PROBE REGFILE
      seeds a Wine prefix as the machine is seeded: the machine's files copied to the same
      places of the prefix (its folders mapped by what they are for), its folders below the
      system folder made, and its values of the product's keys written to REGFILE (.reg, UTF-16)
  outcome.py capture machine MACHINE OUT [BEFORE]
  outcome.py capture wine PREFIX PROBE OUT [BEFORE]
      the state of one side as JSON: the folders, every file below them (size, time,
      attributes, and a hash where the outcome needs one: every file of the product's own
      folders, and the files of the shared folders that changed since BEFORE), the folders
      below them, the registry values and the shortcuts
  outcome.py check FAMILY RUN RESTART BEFORE
      what one family's update must leave, after the run and after the restart (states
      captured from the Wine prefix)
  outcome.py compare FAMILY STAGE DEVIATIONS WINE_BEFORE WINE_AFTER MACHINE_BEFORE MACHINE_AFTER
      both outcomes in the normal form, and every item in which they differ; a difference
      not listed in DEVIATIONS fails (exit 1)

PROBE is what outcome_probe.exe printed in the prefix for the keys above (and, for a capture,
with --files for each of the folders). Folders of the normal form: <install> the product
folder, <system> the system folder (with its Drivers or IOSUBSYS), <temp> the temporary folder
where the payloads are staged, <documents> the user's documents (the data folder lies there),
<programs> the common program menu. The product folder and the documents are compared whole;
the shared folders (system, temp, program menu) by what the run changed in them. Paths inside
values are written with these names.
"""
import json
import os
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SOURCE, "tools"))
from pylib import machine_view  # noqa: E402  the independent reader of a machine

INSTALL = "C:\\Program Files\\Orvane\\Velkor TARN"
# Keys the update writes: compared whole.
PRODUCT_KEYS = [
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\VKTARN.EXE",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\cdrvkvsd",
    "HKCU\\Software\\Orvane\\VkTARN",
]
SHELL_FOLDERS = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
SESSION_MANAGER = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"
PENDING = "PendingFileRenameOperations"
# Keys the update reads or writes below that hold values of others: compared by what changed.
SHARED_KEYS = [
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths",
    SHELL_FOLDERS,
    "HKLM\\SYSTEM\\CurrentControlSet\\Services",
    SESSION_MANAGER,
    "HKCU\\Software",
]
WHOLE_FOLDERS = ["install", "documents"]
SHARED_FOLDERS = ["system", "temp", "programs"]
TYPES = {0: "REG_NONE", 1: "REG_SZ", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD", 7: "REG_MULTI_SZ"}


def fail(message):
    print("outcome: " + message, file=sys.stderr)
    sys.exit(2)


def trimmed(path):
    return path[:-1] if path.endswith("\\") and len(path) > 3 else path


# --- reading one side -------------------------------------------------------------------------

def read_probe(path):
    """(folders by role, {KEY (upper case): {name (lower case): (name, type, bytes)}},
    {file path (lower case): attributes})."""
    folders, keys, attributes = {}, {}, {}
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            parts = line.rstrip("\r\n").split("\t")
            if parts[0] == "folder" and len(parts) == 3:
                folders[parts[1]] = trimmed(parts[2])
            elif parts[0] == "file" and len(parts) == 3:
                attributes[parts[1].lower()] = int(parts[2], 16)
            elif parts[0] == "key" and len(parts) == 2:
                keys.setdefault(parts[1].upper(), {})
            elif parts[0] == "value" and len(parts) == 5:
                keys.setdefault(parts[1].upper(), {})[parts[2].lower()] = (parts[2], int(parts[3]),
                                                                          bytes.fromhex(parts[4]))
    return folders, keys, attributes


def machine_registry(machine):
    """The machine's values of the outcome's keys, as read_probe gives them."""
    stored = machine_view.load_registry(machine, machine_view.value_bytes)
    keys = {}
    for key in PRODUCT_KEYS + SHARED_KEYS:
        found = stored.get(machine_view.long_key(key).upper())
        if found is not None:
            keys[key.upper()] = dict(found[1])
    return keys


def machine_folders(machine):
    folders = {}
    with open(os.path.join(machine, "machine.ini"), encoding="utf-8") as f:
        for line in f:
            name, sep, value = line.partition("=")
            if sep and name.strip() in ("temp", "system", "documents"):
                folders[name.strip()] = trimmed(value.strip())
    return folders


def text_of(value):
    """The text of a string value's stored bytes, terminators and all."""
    return value.decode("utf-16-le", "surrogatepass")


def common_programs(keys):
    value = keys.get(SHELL_FOLDERS.upper(), {}).get("common programs")
    return trimmed(text_of(value[2]).rstrip("\0")) if value is not None else ""


def side(kind, root, probe=None):
    """(folders by role, registry, attributes of a file by its Windows path) of a machine or a
    prefix (the folder holding drive_c)."""
    if kind == "machine":
        folders, keys = machine_folders(root), machine_registry(root)
        stored = machine_view.file_attributes(root)
        attributes = lambda path: stored(os.path.relpath(machine_view.host_path_below(root, path), root))  # noqa: E731
    else:
        folders, keys, listed = read_probe(probe)
        attributes = lambda path: listed.get(path.lower())  # noqa: E731
    folders["install"] = INSTALL
    folders["programs"] = common_programs(keys)
    missing = [role for role in WHOLE_FOLDERS + SHARED_FOLDERS if not folders.get(role)]
    if missing:
        fail("%s names no %s folder" % (root, ", ".join(missing)))
    return folders, keys, attributes




def shortcut(path):
    """The fields of a shortcut as lnkinfo reads them, or None when it is no shortcut it reads."""
    try:
        report = subprocess.run(["lnkinfo", "-c", "windows-932", path], capture_output=True,
                                encoding="utf-8", errors="replace", timeout=30)
    except (OSError, subprocess.TimeoutExpired):
        return None
    if report.returncode != 0:
        return None
    fields = {"target": "Local path", "working folder": "Working directory",
              "arguments": "Command line arguments", "description": "Description"}
    found = {}
    for line in report.stdout.split("\n"):
        label, sep, value = line.strip("\t").partition(":")
        label = label.strip("\t ")
        for field, name in fields.items():
            if sep and label == name and field not in found:
                found[field] = value[1:] if value.startswith(" ") else value
    out = {field: found.get(field, "") for field in fields}
    # lnkinfo 20181227 shows the header's file-size field as the show-window value: the show
    # command is read from its own header field.
    with open(path, "rb") as f:
        header = f.read(0x40)
    out["show command"] = int.from_bytes(header[0x3C:0x40], "little") if len(header) == 0x40 else None
    return out


def capture(kind, root, probe, before_path):
    folders, keys, attributes = side(kind, root, probe)
    before = load(before_path) if before_path else None
    files, subfolders, shortcuts = {}, {}, {}
    for role, folder in folders.items():
        files[role], subfolders[role] = {}, []
        top = machine_view.host_path_below(root, folder)
        # A file belongs to the deepest folder that holds it.
        inner = [machine_view.host_path_below(root, other) for r, other in folders.items()
                 if r != role and other.lower().startswith(folder.lower() + "\\")]
        for here, dirs, names in os.walk(top):
            dirs[:] = [d for d in dirs if os.path.join(here, d) not in inner]
            subfolders[role] += [os.path.relpath(os.path.join(here, d), top).replace(os.sep, "\\") for d in dirs]
            for name in names:
                path = os.path.join(here, name)
                rel = os.path.relpath(path, top).replace(os.sep, "\\")
                st = os.stat(path)
                entry = [st.st_size, st.st_mtime_ns, attributes(folder + "\\" + rel), None]
                old = before["files"][role].get(rel) if before else None
                if role in WHOLE_FOLDERS or (before is not None and (old is None or old[:3] != entry[:3])):
                    entry[3] = machine_view.file_sha1(path)
                files[role][rel] = entry
                if role == "programs" and name.lower().endswith(".lnk") and entry[3] is not None:
                    shortcuts[rel] = shortcut(path)
    registry = {key: {n: [v[0], v[1], v[2].hex()] for n, v in keys.get(key.upper(), {}).items()}
                if key.upper() in keys else None for key in PRODUCT_KEYS + SHARED_KEYS}
    return {"folders": folders, "files": files, "subfolders": subfolders, "shortcuts": shortcuts,
            "registry": registry}


def load(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


# --- the normal form ------------------------------------------------------------------------

class Paths:
    """Writes the side's folders as <role> in texts (letter case ignored, whole names only)."""

    def __init__(self, folders):
        self.folders = sorted(folders.items(), key=lambda kv: -len(kv[1]))

    def __call__(self, text):
        out, i, lower = [], 0, text.lower()
        while i < len(text):
            for role, folder in self.folders:
                end = i + len(folder)
                if lower.startswith(folder.lower(), i) and (end == len(text) or text[end] in "\\\0"):
                    out.append("<%s>" % role)
                    i = end
                    break
            else:
                out.append(text[i])
                i += 1
        return "".join(out)


ATTRIBUTES = [(0x1, "READONLY"), (0x2, "HIDDEN"), (0x4, "SYSTEM"), (0x20, "ARCHIVE"), (0x80, "NORMAL")]


def attribute_names(bits):
    if bits is None:
        return "attributes unknown"
    names = [name for bit, name in ATTRIBUTES if bits & bit]
    rest = bits & ~sum(bit for bit, _ in ATTRIBUTES)
    return "|".join(names + (["0x%x" % rest] if rest else [])) or "no attributes"


def shown_value(vtype, data, paths):
    """A value in the normal form: its type and its bytes, strings as their text with every
    terminator shown, folders named by role."""
    raw = bytes.fromhex(data)
    if vtype in (1, 2, 7) and len(raw) % 2 == 0:
        text = paths(text_of(raw))
        return "%s %s" % (TYPES[vtype], json.dumps(text, ensure_ascii=False))
    return "%s %s" % (TYPES.get(vtype, "type %d" % vtype), raw.hex())


def pending_list(values, paths):
    """PendingFileRenameOperations as its list of strings, folders named by role."""
    value = (values or {}).get(PENDING.lower())
    if value is None:
        return "none"
    if value[1] != 7:
        return "type %d" % value[1]
    text = text_of(bytes.fromhex(value[2]))
    return json.dumps([paths(s) for s in text.rstrip("\0").split("\0")] if text.strip("\0") else [],
                      ensure_ascii=False)


def normal_form(before, after):
    """{item: its state} of one side's outcome: what the comparison compares."""
    paths = Paths(after["folders"])
    items = {}
    for role in WHOLE_FOLDERS + SHARED_FOLDERS:
        old, new = before["files"][role], after["files"][role]
        for rel, (size, mtime, bits, digest) in new.items():
            if role in SHARED_FOLDERS and rel in old and old[rel][:3] == [size, mtime, bits]:
                continue
            name = "file <%s>\\%s" % (role, rel)
            fields = after["shortcuts"].get(rel) if role == "programs" else None
            if fields is not None:
                for field, value in fields.items():
                    items["shortcut <%s>\\%s %s" % (role, rel, field)] = \
                        paths(value) if isinstance(value, str) else str(value)
            else:
                items[name] = "%d bytes, sha1 %s, %s" % (size, digest, attribute_names(bits))
        for rel in old:
            if role in SHARED_FOLDERS and rel not in new:
                items["file <%s>\\%s" % (role, rel)] = "removed"
        # Folders by their presence: all of the product's own, the shared ones that came or went.
        old, new = set(before["subfolders"][role]), set(after["subfolders"][role])
        for rel in (new if role in WHOLE_FOLDERS else new ^ old):
            items["folder <%s>\\%s" % (role, rel)] = "present" if rel in new else "removed"
    for key in PRODUCT_KEYS:
        values = after["registry"][key]
        items["key " + key] = "present" if values is not None else "absent"
        for name, vtype, data in (values or {}).values():
            items["value %s [%s]" % (key, name or "@")] = shown_value(vtype, data, paths)
    for key in SHARED_KEYS:
        old, new = before["registry"][key] or {}, after["registry"][key] or {}
        for lname, (name, vtype, data) in new.items():
            if lname != PENDING.lower() and old.get(lname) != [name, vtype, data]:
                items["value %s [%s]" % (key, name or "@")] = shown_value(vtype, data, paths)
        for lname, (name, _, _) in old.items():
            if lname != PENDING.lower() and lname not in new:
                items["value %s [%s]" % (key, name or "@")] = "removed"
    items["pending"] = pending_list(after["registry"][SESSION_MANAGER], paths)
    return items


# --- what one family's update must leave -----------------------------------------------------

# family: (files of the family's route in the install folder, in the system folder by
# sub-folder, the driver replaced at the restart, the shortcut rewritten)
FAMILIES = {
    "95": (3, {"IOSUBSYS": 1}, False, False),
    "98": (3, {"IOSUBSYS": 1}, False, False),
    "nt4": (0, {"Drivers": 2}, False, False),
    "2000": (0, {"": 1}, True, False),
    "xp": (0, {"": 1}, True, True),
}


def check(family, run_path, restart_path, before_path):
    install_extra, system_files, at_restart, shortcut_rewritten = FAMILIES[family]
    before, run, restart = load(before_path), load(run_path), load(restart_path)
    problems = []
    items = normal_form(before, run)
    installed = run["files"]["install"]
    old = before["files"]["install"]
    # Every file of the common route and of the family's route is new in the install folder;
    # the data files have left it for the data folder; no temporary file is left.
    changed = [rel for rel, entry in installed.items() if old.get(rel, [None] * 4)[3] != entry[3]]
    if len(changed) != 34 + install_extra:
        problems.append("%d files installed in the install folder, not %d" % (len(changed), 34 + install_extra))
    exe = installed.get("VKTARN.EXE")
    if exe is None or exe[0] != 4371968:
        problems.append("VKTARN.EXE is not the new build's 4,371,968 bytes")
    data = {rel.split("\\")[-1].lower() for rel in run["files"]["documents"]}
    moved = {rel.lower() for rel in old} - {rel.lower() for rel in installed}
    if not moved or not moved <= data or any(rel.lower() in moved for rel in installed):
        problems.append("the data files were not moved to the documents folder: %s" % sorted(moved))
    if any(rel.lower().endswith(".tmp") for rel in installed):
        problems.append("temporary files left in the install folder")
    # The family's route in the system folder: new files by sub-folder.
    new_system = {}
    for item, state in items.items():
        if item.startswith("file <system>\\") and state != "removed":
            rel = item[len("file <system>\\"):]
            folder = rel.rsplit("\\", 1)[0] if "\\" in rel else ""
            new_system[folder.lower()] = new_system.get(folder.lower(), 0) + 1
    if new_system != {k.lower(): v for k, v in system_files.items()}:
        problems.append("new files in the system folder by sub-folder: %s" % new_system)
    # The driver service: written where the driver waits for the restart, else as installed.
    service = run["registry"][PRODUCT_KEYS[1]]
    if (at_restart and (service is None or len(service) != 5)) or \
            (not at_restart and service != before["registry"][PRODUCT_KEYS[1]]):
        problems.append("driver service key: %s" % (sorted(service) if service is not None else "absent"))
    pending = json.loads(items["pending"]) if items["pending"] != "none" else []
    if at_restart != bool(pending):
        problems.append("operations pending until restart: %s" % items["pending"])
    app_paths = run["registry"][PRODUCT_KEYS[0]] or {}
    path = text_of(bytes.fromhex(app_paths.get("path", ["", 1, ""])[2])).rstrip("\0")
    if path != INSTALL:
        problems.append("App Paths Path is %r" % path)
    settings = run["registry"][PRODUCT_KEYS[2]] or {}
    for name in ("enableencode", "copybadsector"):
        if settings.get(name, [None, None, None])[1:] != [4, "00000000"]:
            problems.append("setting %s is not 0" % name)
    for name in ("port", "mediabar", "proxy"):  # the installation's own settings are kept
        if settings.get(name) != before["registry"][PRODUCT_KEYS[2]].get(name):
            problems.append("setting %s was changed" % name)
    if "tempfolder" not in settings:
        problems.append("no setting TempFolder")
    # The shortcut: rewritten (and only then in the run's outcome) with its four properties.
    lnk = {item: state for item, state in items.items()
           if item.startswith("shortcut ") or item.startswith("file <programs>")}
    fields = {"target": "<install>\\VKTARN.EXE", "working folder": "<install>", "arguments": "",
              "show command": "10"}
    rewritten = {"shortcut <programs>\\Velkor TARN\\Velkor TARN.lnk " + f: v for f, v in fields.items()}
    if shortcut_rewritten != all(lnk.get(item) == state for item, state in rewritten.items()) or \
            (not shortcut_rewritten and lnk):
        problems.append("shortcut: %s" % (lnk or "not rewritten"))
    # The restart: nothing pending any more; the driver in its place and no temporary file
    # left in the system folder.
    after = normal_form(before, restart)
    if after["pending"] not in ("none", "[]"):
        problems.append("after the restart still pending: %s" % after["pending"])
    driver = after.get("file <system>\\drivers\\CDRVKVSD.SYS")
    if at_restart and (driver is None or not driver.startswith("9278 bytes")):
        problems.append("after the restart the new driver is not in place: %s" % driver)
    left = [i for i, state in after.items() if i.startswith("file <system>\\") and i.lower().endswith(".tmp")
            and state != "removed"]
    if left:
        problems.append("after the restart temporary files in the system folder: %s" % left)
    for p in problems:
        print("%s: FAIL: %s" % (family, p))
    return 1 if problems else 0


# --- comparing the two sides -----------------------------------------------------------------

def read_deviations(path):
    """[(families, stages, item, reason)] of the list of Wine's deviations."""
    rows = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if not line.strip() or line.startswith("#"):
                continue
            parts = [p.strip() for p in line.rstrip("\n").split(" | ")]
            if len(parts) != 4 or not parts[3]:
                fail("%s:%d: not 'FAMILIES | STAGES | ITEM | REASON'" % (path, number))
            rows.append((parts[0].split(","), parts[1].split(","), parts[2], parts[3]))
    return rows


def compare(family, stage, deviations_path, wine_before, wine_after, machine_before, machine_after):
    wine = normal_form(load(wine_before), load(wine_after))
    machine = normal_form(load(machine_before), load(machine_after))
    listed = read_deviations(deviations_path)
    unlisted = 0
    for item in sorted(set(wine) | set(machine)):
        w, m = wine.get(item, "(none)"), machine.get(item, "(none)")
        if w == m:
            continue
        reason = next((r for fams, stages, it, r in listed
                       if (family in fams or "*" in fams) and (stage in stages or "*" in stages) and it == item),
                      None)
        if reason is None:
            unlisted += 1
            print("%s %s: DIFFERS: %s\n    wine:    %s\n    machine: %s" % (family, stage, item, w, m))
        else:
            print("%s %s: Wine's own: %s (%s)" % (family, stage, item, reason))
    print("%s %s: %d items, %d unlisted differences" % (family, stage, len(set(wine) | set(machine)), unlisted))
    return 1 if unlisted else 0


# --- seeding a prefix as the machine is seeded ------------------------------------------------

def seed(machine, prefix, probe, regfile):
    mine = side("machine", machine)[0]
    theirs = side("wine", prefix, probe)[0]
    roles = sorted(mine.items(), key=lambda kv: -len(kv[1]))
    drive = os.path.join(machine, "drive_c")
    for here, dirs, names in os.walk(drive):
        for name in dirs + names:
            path = os.path.join(here, name)
            windows = "C:\\" + os.path.relpath(path, drive).replace(os.sep, "\\")
            role = next((r for r, f in roles if windows.lower().startswith(f.lower() + "\\")), None)
            if role is None:
                if name not in dirs:
                    fail("%s lies in no folder the outcome knows" % windows)
                continue
            target = machine_view.host_path_below(prefix, theirs[role] + windows[len(mine[role]):])
            if name in dirs:
                os.makedirs(target, exist_ok=True)
            else:
                os.makedirs(os.path.dirname(target), exist_ok=True)
                shutil.copyfile(path, target)
    stored = machine_view.load_registry(machine, machine_view.value_bytes)
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key in PRODUCT_KEYS:
        found = stored.get(machine_view.long_key(key).upper())
        if found is None:
            continue
        lines.append("[%s]" % machine_view.long_key(key))
        for name, vtype, data in found[1].values():
            shown = '"%s"' % name.replace("\\", "\\\\").replace('"', '\\"') if name else "@"
            if vtype == 4 and len(data) == 4:
                lines.append("%s=dword:%08x" % (shown, int.from_bytes(data, "little")))
            else:
                kind = "hex" if vtype == 3 else "hex(%x)" % vtype
                lines.append("%s=%s:%s" % (shown, kind, ",".join("%02x" % b for b in data)))
        lines.append("")
    with open(regfile, "wb") as f:
        f.write(b"\xff\xfe" + "\r\n".join(lines + [""]).encode("utf-16-le"))
    return 0


def main(argv):
    if argv == ["keys"]:
        print("\n".join(PRODUCT_KEYS + SHARED_KEYS))
        return 0
    if len(argv) == 2 and argv[0] == "folders":
        print("\n".join(side("wine", argv[1], argv[1])[0].values()))
        return 0
    if len(argv) == 5 and argv[0] == "seed":
        return seed(*argv[1:])
    if argv[:2] == ["capture", "machine"] and len(argv) in (4, 5):
        state = capture("machine", argv[2], None, argv[4] if len(argv) == 5 else None)
        out = argv[3]
    elif argv[:2] == ["capture", "wine"] and len(argv) in (5, 6):
        state = capture("wine", argv[2], argv[3], argv[5] if len(argv) == 6 else None)
        out = argv[4]
    elif len(argv) == 5 and argv[0] == "check" and argv[1] in FAMILIES:
        return check(*argv[1:])
    elif len(argv) == 8 and argv[0] == "compare":
        return compare(*argv[1:])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    with open(out, "w", encoding="utf-8") as f:
        json.dump(state, f, ensure_ascii=False, indent=0, sort_keys=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
