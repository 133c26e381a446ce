#!/usr/bin/env bash
# tools/pylib/machine_view.py, the independent reader of a machine: the pending operations of
# either type with the replace marker, every bad input a one-line error with exit code 1 (a
# damaged machine.ini in the host vkupdate's words), a wrong command line one line and exit 2.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$VKMACHINE" create "$work/m" >/dev/null || { echo "FAIL: vkmachine create"; exit 1; }
exec /usr/bin/python3 - "$VK_SOURCE_DIR/tools/pylib/machine_view.py" "$work" <<'EOF'
import os, shutil, subprocess, sys

view, work = sys.argv[1], sys.argv[2]
failures = []
KEY = "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager]"


def run(*args):
    result = subprocess.run([view] + list(args), capture_output=True, text=True)
    return result.returncode, result.stdout, result.stderr


def machine(name, pending_line=None, registry=None):
    """A copy of the made machine; `pending_line` is added as the Session Manager's value."""
    dir = os.path.join(work, name)
    shutil.copytree(os.path.join(work, "m"), dir)
    if pending_line is not None:
        with open(os.path.join(dir, "registry.reg"), "a", encoding="utf-8") as f:
            f.write("%s\n\"PendingFileRenameOperations\"=%s\n\n" % (KEY, pending_line))
    if registry is not None:
        with open(os.path.join(dir, "registry.reg"), "w", encoding="utf-8") as f:
            f.write(registry)
    return dir


def hexed(kind, text):
    return "hex(%d):%s" % (kind, ",".join("%02x" % b for b in text.encode("utf-16-le")))


# The pending list as Windows keeps it, and as a REG_SZ holding the same names.
names = "\\??\\C:\\WINDOWS\\TEMP\\vk038.tmp\0!\\??\\C:\\WINDOWS\\system32\\drivers\\CDRVKVSD.SYS\0" \
        "\\??\\C:\\a.txt\0\\??\\C:\\b.txt\0\\??\\C:\\old.tmp\0\0"
expected = ("C:\\WINDOWS\\TEMP\\vk038.tmp -> C:\\WINDOWS\\system32\\drivers\\CDRVKVSD.SYS (replace existing)\n"
            "C:\\a.txt -> C:\\b.txt\n"
            "delete C:\\old.tmp\n")
for label, line, want in [
    ("REG_MULTI_SZ", hexed(7, names + "\0"), expected),
    ("REG_SZ with the same names", hexed(1, names), expected),
    ("REG_SZ of one name", '"\\\\??\\\\C:\\\\gone.tmp"', "delete C:\\gone.tmp\n"),
]:
    status, out, err = run("pending", machine(label.replace(" ", "_"), pending_line=line))
    if status != 0 or out != want:
        failures.append("pending, %s: exit %d, printed:\n%s%s" % (label, status, out, err))

# What changed between two copies: a file that moved with its name and bytes is said to have
# moved; an operation pending from before is told apart from the same one registered again.
one = "\\??\\C:\\t.tmp\0!\\??\\C:\\d.sys\0"
before = machine("before", pending_line=hexed(7, one + "\0"))
after = machine("after", pending_line=hexed(7, one + one + "\0"))
for folder in (before, after):
    os.makedirs(os.path.join(folder, "drive_c", "Old"))
    os.makedirs(os.path.join(folder, "drive_c", "New"))
for folder, rel, text in [(before, "Old/DATA.DB", "d"), (after, "New/DATA.DB", "d"),
                          (before, "Old/same.txt", "1"), (after, "New/same.txt", "2")]:
    with open(os.path.join(folder, "drive_c", rel), "w") as f:
        f.write(text)
status, out, err = run("changes", before, after)
for want in ["  files    C:\\New\n           1 moved here from C:\\Old (DATA.DB); 1 new (same.txt)\n",
             "  files    C:\\Old\n           1 moved to C:\\New (DATA.DB); 1 removed (same.txt)\n",
             "C:\\t.tmp -> C:\\d.sys (replace existing)  [pending from before this run]\n"
             "           C:\\t.tmp -> C:\\d.sys (replace existing)  [registered again by this run]\n"]:
    if status != 0 or want not in out:
        failures.append("changes: exit %d, wanted %r in:\n%s%s" % (status, want, out, err))

# Bad input: one line on standard error that says what is wrong, exit code 1.
good = os.path.join(work, "m")
file = os.path.join(work, "file")
open(file, "w").write("not a machine")
not_machine = os.path.join(work, "empty")
os.mkdir(not_machine)
header = "Windows Registry Editor Version 5.00\n\n"
folder_registry = machine("folder_registry")
os.remove(os.path.join(folder_registry, "registry.reg"))
os.mkdir(os.path.join(folder_registry, "registry.reg"))
no_registry = machine("no_registry")
os.remove(os.path.join(no_registry, "registry.reg"))
cases = [
    (["pending", os.path.join(work, "none")], "no machine folder"),
    (["query", file, "HKLM\\SOFTWARE"], "is not a folder"),
    (["pending", not_machine], "is not a machine (no machine.ini)"),
    (["changes", good, os.path.join(work, "none")], "no machine folder"),
    (["path", file, "C:\\WINDOWS"], "is not a folder"),
    (["path", good, "WINDOWS"], "is not a full Windows path"),
    (["pending", folder_registry], "registry.reg cannot be read: Is a directory"),
    (["pending", no_registry], "registry.reg is missing"),
    (["query", machine("bad_hex", registry=header + KEY + '\n"x"=hex:zz\n\n'), "HKLM\\SYSTEM"],
     'registry.reg:4: "zz" is not hex'),
    (["query", machine("no_quote", registry=header + KEY + '\n"x"="open\n\n'), "HKLM\\SYSTEM"],
     "registry.reg:4: string without its closing quote"),
    (["pending", machine("cut", registry=header + KEY + '\n"x"=dword:00000001\n')], "it was cut off"),
    (["pending", machine("not_reg", registry="[windows]\nmajor = 5\n\n")], "registry.reg:1: not a registry file"),
    (["query", machine("orphan", registry=header + '"x"="y"\n\n'), "HKLM\\SYSTEM"],
     "registry.reg:3: value before the first [key]"),
]
for args, message in cases:
    status, out, err = run(*args)
    if status != 1 or message not in err or err.count("\n") != 1 or out:
        failures.append("%s: exit %d, %r %r" % (" ".join(args[:1]), status, out, err))
# A damaged machine.ini: refused as the host vkupdate refuses it, in the same words.
for label, ini in [
    ("a key twice", "[windows]\nmajor = 5\nmajor = 4\n"),
    ("a key twice in another section", "[folders]\ntemp = C:\\T\n[windows]\n[folders]\ntemp = C:\\U\n"),
    ("an unknown key", "[windows]\nversion = 5\n"),
    ("a value out of range", "[windows]\nadmin = 2\n"),
    ("a relative folder", "[folders]\nsystem = WINDOWS\n"),
    ("no code page", "[windows]\ncodepage = 12345\n"),
    ("a folder the code page lacks", "[windows]\ncodepage = 1252\n[folders]\ntemp = C:\\\u8868\n"),
    ("no section", "major = 5\n"),
]:
    dir = machine("ini_" + label.replace(" ", "_"))
    with open(os.path.join(dir, "machine.ini"), "w", encoding="utf-8") as f:
        f.write(ini)
    status, out, err = run("pending", dir)
    host = subprocess.run([os.environ["VKUPDATE"]], env=dict(os.environ, VKUPDATE_MACHINE=dir),
                          stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if status != 1 or err.count("\n") != 1 or host.returncode != 1 or \
            err.split(": ", 1)[1:] != host.stderr.split(": ", 1)[1:]:
        failures.append("machine.ini with %s: exit %d, %r; vkupdate: exit %d, %r"
                        % (label, status, err, host.returncode, host.stderr))

# A wrong command line: one line naming the problem, exit code 2.
for args, message in [([], "no command given"), (["pending"], "pending takes MACHINE, not 0 arguments"),
                      (["query", good], "query takes MACHINE KEY [NAME], not 1 argument"),
                      (["attributes", good], "unknown command \"attributes\"")]:
    status, out, err = run(*args)
    if status != 2 or err != "machine_view: %s (machine_view.py --help shows the usage)\n" % message or out:
        failures.append("%s: exit %d, %r" % (args, status, err))
status, out, _ = run("--help")
if status != 0 or not out.startswith("Reads an emulated machine") or not out.endswith(".\n"):
    failures.append("--help: exit %d, %r" % (status, out[-80:]))

# snapshot: every file's SHA-1 as sha1sum gives it, files read a buffer at a time included
# (empty, one byte, at and around the megabyte buffer, several buffers and a piece).
sizes = {"empty": 0, "one": 1, "below": (1 << 20) - 1, "at": 1 << 20, "above": (1 << 20) + 1, "more": (3 << 20) + 7}
files = machine("hashed")
for name, size in sizes.items():
    with open(os.path.join(files, "drive_c", name + ".bin"), "wb") as f:
        f.write(bytes((i * 7 + size) & 0xFF for i in range(size)))
status, _, err = run("snapshot", files, os.path.join(work, "snap.json"))
import json
kept = json.load(open(os.path.join(work, "snap.json"))) if status == 0 else {}
for name in sizes:
    rel = os.path.join("drive_c", name + ".bin")
    want = subprocess.run(["sha1sum", os.path.join(files, rel)], capture_output=True, text=True).stdout.split()[0]
    if kept.get(rel) != want:
        failures.append("snapshot of %s: %s, sha1sum says %s %s" % (name, kept.get(rel), want, err.strip()))

for f in failures:
    print("FAIL:", f)
if failures:
    sys.exit(1)
print("machine_view: ok")
EOF
