"""The machines the sweeps run on and how they are read: the machine kinds, the product's
places, and readers of a machine's files, registry, attributes and shortcuts, kept once per
content where reading is slow."""
import hashlib
import os
import re
import shutil
import subprocess

from pylib import machine_view  # the independent reader of a machine

# Machine kinds: vkmachine create options.
MACHINES = {
    "xp": [],
    "2000": ["--platform", "2", "--major", "5", "--minor", "0", "--system", "C:\\WINNT\\system32"],
    "nt4": ["--platform", "2", "--major", "4", "--minor", "0", "--system", "C:\\WINNT\\system32"],
    "98": ["--platform", "1", "--major", "4", "--minor", "10", "--system", "C:\\WINDOWS\\SYSTEM"],
}
PRODUCT = "C:\\Program Files\\Orvane\\Velkor TARN"
OLD_BUILD = "3, 1, 5, 0"
# A disc database of a user's years: its copy into the data folder spans many kill points.
DATABASE_SIZE = 16 << 20
# The database of every other run: a piece and a part of one (the copy goes 64 KiB a piece),
# so that a run copies, reads and hashes little. Only the kill points inside the large
# database's copy need the large one.
SMALL_DATABASE_SIZE = 100 << 10
PIECE = "CopyFileA.piece"
# What the product keeps beside itself and the update moves to the data folder.
DATA_FILE = re.compile(r"^(VKCDDB\.DB|CHG\.LOG|.*\.LST)$", re.IGNORECASE)
TEMP_NAME = re.compile(r"^vk\d+\.tmp$", re.IGNORECASE)
# vkupdate and vkmachine allocate in huge pages where the kernel allows it, and keep the memory
# of a file they are done with for the next (blocks up to 32 MiB come from the heap, which is
# not given back): an update reads and writes megabytes, file after file, and taking that memory
# from the kernel anew, 4 KiB at a time, was a quarter to a half of its time. Only the placement
# of memory changes; a sanitizer's allocator ignores it.
MALLOC_TUNABLES = ("glibc.malloc.hugetlb=1:glibc.malloc.mmap_threshold=33554432:"
                   "glibc.malloc.trim_threshold=268435456")
CHILD_ENV = dict(os.environ, GLIBC_TUNABLES=":".join(
    t for t in (os.environ.get("GLIBC_TUNABLES"), MALLOC_TUNABLES) if t))


def ini_value(machine, key):
    for line in open(os.path.join(machine, "machine.ini"), encoding="utf-8"):
        name, _, value = line.partition("=")
        if name.strip() == key:
            return value.strip()
    raise KeyError(key)


def rel(machine, windows_path):
    return os.path.relpath(machine_view.find_host_path(machine, windows_path), machine)


def under(path, folder):
    return path.lower().startswith(folder.lower() + os.sep)


def copy_machine(source, target):
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(source, target, symlinks=True)


REGISTRIES = {}  # (digests of registry.reg and registry.journal): the registry they hold
LARGE_REGISTRY = 256 << 10


def load_registry(machine):
    """machine_view.load_registry; a large registry (a state's value of a megabyte takes
    seconds to read) read once for each content of its files, and then shared between
    callers, who never change it."""
    machine_view.check_machine(machine)
    contents = []
    for name in ("registry.reg", "registry.journal"):
        path = os.path.join(machine, name)
        contents.append(open(path, "rb").read() if os.path.exists(path) else None)
    if sum(len(c or b"") for c in contents) < LARGE_REGISTRY:
        return machine_view.load_registry(machine)
    key = tuple(c and hashlib.sha1(c).hexdigest() for c in contents)
    if key not in REGISTRIES:
        REGISTRIES[key] = machine_view.load_registry(machine)
    return REGISTRIES[key]


def folder_digest(folder):
    """{path below the folder: SHA-1 of a file, or "folder"} of everything in it."""
    found = {}
    for at, folders, files in os.walk(folder):
        for name in folders:
            found[os.path.relpath(os.path.join(at, name), folder)] = "folder"
        for name in files:
            found[os.path.relpath(os.path.join(at, name), folder)] = machine_view.file_sha1(os.path.join(at, name))
    return found


def attributes(machine):
    """{path below the machine folder: Windows attribute bits} of attributes.txt."""
    found = {}
    path = os.path.join(machine, "attributes.txt")
    if os.path.exists(path):
        for line in open(path, encoding="utf-8"):
            bits, tab, name = line.rstrip("\n").partition("\t")
            if tab and not line.startswith("#"):
                found[name] = int(bits, 16)
    return found


def values(registry):
    return {(key, name) for key, (_, vals) in registry.items() for name in vals}


def value_of(registry, key, name):
    found = registry.get(key, (None, {}))[1].get(name)
    return None if found is None else found[1:]


SHORTCUTS = {}  # SHA-1 of a shortcut file: what lnkinfo reads in it


def shortcut(path, digest=None):
    """What a shortcut points at, as lnkinfo reads it; read once for the bytes of `digest`."""
    if digest in SHORTCUTS:
        return SHORTCUTS[digest]
    result = subprocess.run(["lnkinfo", "-c", "windows-932", path], capture_output=True, text=True)
    found = [line.strip() for line in result.stdout.splitlines()
             if line.strip().startswith(("Local path", "Working directory", "Command line arguments"))]
    if digest is not None:
        SHORTCUTS[digest] = found
    return found


def listing(paths, limit=4):
    return ", ".join(paths[:limit]) + (", ..." if len(paths) > limit else "")
