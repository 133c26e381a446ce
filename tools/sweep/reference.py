"""The counting run and what a good update leaves: each machine kind seeded with the large and
the small database, the update without fault on each, its calls counted, and the Reference the
runs of every sweep are checked against."""
import functools
import os
import shutil
import time

from machines import (DATA_FILE, DATABASE_SIZE, MACHINES, OLD_BUILD, PIECE, PRODUCT, SMALL_DATABASE_SIZE, TEMP_NAME,
                      attributes, copy_machine, ini_value, load_registry, rel, shortcut, under, value_of, values)
from pylib import machine_view  # the independent reader of a machine


def prepare(runner, kind):
    """Seeds the machine twice, with the large database and with the small one, runs the
    counting update on each, and takes what a good update leaves. The Reference returned
    is the large seed's; its `small` the small seed's."""
    ref = counted(runner, kind, os.path.join(runner.work, kind), DATABASE_SIZE)
    ref.small = counted(runner, kind, os.path.join(runner.work, kind, "small"), SMALL_DATABASE_SIZE)
    ref.copy_points, ref.extra_points = database_copy(ref.calls, ref.small.calls)
    ref.small.copy_points, ref.small.extra_points = ref.copy_points, 0
    differ = [what for what, a, b in (("targets", ref.targets, ref.small.targets),
                                      ("data files", sorted(ref.data), sorted(ref.small.data)),
                                      ("registry changes", sorted(ref.changed), sorted(ref.small.changed)))
              if a != b]
    if differ:
        raise SystemExit("sweep: with the small database the update on %s changes other %s" %
                         (kind, " and ".join(differ)))
    return ref


def counted(runner, kind, base, database_size):
    """A seeded machine in `base`/seed, and the counting update on it: its Reference."""
    seed = os.path.join(base, "seed")
    os.makedirs(base, exist_ok=True)
    shutil.rmtree(seed, ignore_errors=True)
    for args in (["create", seed] + MACHINES[kind],
                 ["install-product", seed, "--version", OLD_BUILD, "--database-size", str(database_size)]):
        code, output = runner.vkmachine(*args)
        if code != 0:
            raise SystemExit("sweep: vkmachine %s: %s" % (" ".join(args), output))
    calls = os.path.join(base, "calls")
    if os.path.exists(calls):
        os.remove(calls)
    ref, problem = reference_run(runner, kind, seed, base, PRODUCT, {"VKUPDATE_CALLS": calls})
    if problem:
        raise SystemExit("sweep: the update without fault failed on %s: %s" % (kind, problem))
    runner.seal(seed)
    ref.calls = [tuple(line.rsplit(" ", 1)) for line in open(calls, encoding="utf-8").read().splitlines()]
    missing = sorted({name for name, _ in ref.calls if is_call(name)} - set(runner.errors))
    if missing:
        raise SystemExit("sweep: platform_calls.def counts no call %s" % ", ".join(missing))
    return ref


def reference_run(runner, kind, seed, base, install, env):
    """What an update without fault leaves on `seed` (a copy, in `base`): the Reference, or
    None and what went wrong."""
    ref = Reference(kind, seed, install)
    after = os.path.join(base, "reference")
    copy_machine(seed, after)
    begun = time.monotonic()
    run = runner.run(after, functools.partial(runner.answer_any, folder=install), env,
                     os.path.join(base, "reference.log"))
    ref.duration = time.monotonic() - begun
    shown = [e.get("text") for e in run.messages()]
    if run.problem or run.returncode != 0 or runner.texts["IDS_UPDATE_DONE"] not in shown:
        return None, "%s (exit %s), messages %s %s" % (run.problem, run.returncode, runner.shown(run),
                                                         run.stderr.strip()[-500:])
    booted = os.path.join(base, "reference-restarted")
    problem = runner.reboot(after, booted)
    if problem:
        return None, problem
    ref.learn(after, booted)
    return ref, None


class Reference:
    """What the seeded machine holds and what a good update leaves on it."""

    def __init__(self, kind, seed, install=PRODUCT):
        self.kind = kind
        self.seed = seed
        self.old = machine_view.file_hashes(seed)
        self.old_registry = load_registry(seed)
        self.install_path = install
        self.install = rel(seed, install)
        self.system = rel(seed, ini_value(seed, "system"))
        self.temp = rel(seed, ini_value(seed, "temp"))
        self.alternatives = {}  # path: other digests (None: absent) a good update may leave

    def learn(self, after, booted):
        self.booted = booted
        self.new = machine_view.file_hashes(booted)
        self.new_registry = load_registry(after)
        self.derive()

    def derive(self, targets=None):
        """Targets, data files and changed values from what the machine holds before (old) and
        after a good update (new)."""
        # Targets: what the update replaces or adds in the install and system folders.
        self.targets = targets if targets is not None else sorted(
            path for path in set(self.old) | set(self.new)
            if (under(path, self.install) or under(path, self.system))
            and self.old.get(path) != self.new.get(path)
            and not DATA_FILE.match(os.path.basename(path)))
        # Data files: where each lies before the update and where the update puts it.
        self.data = {}
        for path, digest in self.old.items():
            if under(path, self.install) and DATA_FILE.match(os.path.basename(path)):
                moved = [p for p, d in self.new.items() if d == digest and p != path
                         and os.path.basename(p).lower() == os.path.basename(path).lower()]
                self.data[path] = (digest, [path] + moved)
        self.changed = {(key, name) for key, name in values(self.old_registry) | values(self.new_registry)
                        if value_of(self.old_registry, key, name) != value_of(self.new_registry, key, name)}

    @functools.lru_cache(maxsize=None)
    def shortcut(self, path):
        return shortcut(os.path.join(self.booted, path))

    def check_targets(self, files):
        found = []
        for target in self.targets:
            now = files.get(target)
            if now is not None and now in (self.old.get(target), self.new[target]):
                continue
            if now is None and target not in self.old:
                continue  # a new file not yet installed
            # The new bytes under a temporary name in the folder the file is installed into.
            destination = self.install if under(target, self.install) else self.system
            waiting = [p for p, d in files.items() if os.path.dirname(p) == destination
                       and TEMP_NAME.match(os.path.basename(p)) and d == self.new[target]]
            if not waiting:
                found.append("%s: %s" % (target, "missing" if now is None else "neither its old nor its new bytes"))
        return found

    def check_data(self, files):
        """Every data file whole in at least one of its places, and nothing else under its name
        there (a copy cut short under the final name would be kept by every later run)."""
        found = []
        for path, (digest, places) in sorted(self.data.items()):
            if not any(files.get(p) == digest for p in places):
                found.append("data file %s lost" % path)
            found += ["data file %s cut off or changed under its name" % p for p in places
                      if p in files and files[p] != digest]
        return found

    def check_registry(self, machine, after_update=False):
        try:
            now = load_registry(machine)
        except Exception as e:  # noqa: BLE001  any failure to read it is the finding
            return ["registry.reg does not read: %r" % e]
        found = []
        for key, name in sorted(values(self.old_registry) | values(now)):
            value = value_of(now, key, name)
            if after_update and name != machine_view.PENDING.lower():
                expected = [value_of(self.new_registry, key, name)]
            elif (key, name) in self.changed:
                expected = [value_of(self.old_registry, key, name), value_of(self.new_registry, key, name)]
            else:
                expected = [value_of(self.old_registry, key, name)]
            if value not in expected and not (after_update and name == machine_view.PENDING.lower()):
                found.append("registry %s \"%s\": %s, expected %s" % (key, name, value, " or ".join(map(str, expected))))
        if after_update:
            ops = set(machine_view.pending_operations(now))
            if ops != set(machine_view.pending_operations(self.new_registry)):
                found.append("pending operations %s" % sorted(ops))
        return found

    def check_writable(self, machine):
        """No installed file is read-only: a later update or repair must be able to replace it."""
        bits = attributes(machine)
        return ["%s is read-only after the update" % t for t in self.targets if bits.get(t, 0) & 1]

    def check_files_as_good_update(self, machine):
        """Every file outside the temporary folder as after an update without fault; a
        shortcut, which records the time of its target, by what lnkinfo reads in it."""
        files = machine_view.file_hashes(machine)
        found = []
        for path in sorted(p for p in set(files) | set(self.new) if not under(p, self.temp)):
            if files.get(path) == self.new.get(path) or files.get(path) in self.alternatives.get(path, ()):
                continue
            # The emulated machine's own partial files, left when it was killed inside a call.
            if os.path.basename(path).startswith(".vk"):
                continue
            # A data file whose deletion failed after its copy stays in the install folder as
            # well: the copy never replaces a file in the data folder, so a later run cannot
            # tell that one from its own, and deleting the source could lose the only copy.
            digest, places = self.data.get(path, (None, []))
            if files.get(path) == digest and any(files.get(p) == digest for p in places[1:]):
                continue
            if path.lower().endswith(".lnk") and path in files and path in self.new and \
                    shortcut(os.path.join(machine, path), files[path]) == self.shortcut(path):
                continue
            found.append("%s differs from a good update's" % path)
        return found


def database_copy(large, small):
    """The kill points (numbers from 1) of the copy of the large database in the counting run
    `large`, and how many more it has than the copy of the small one in `small`. Both runs
    must make the same calls but for those pieces, and number the later pieces on."""
    extra = len(large) - len(small)
    first = next((i for i, (a, b) in enumerate(zip(large, small)) if a != b), len(small))
    start, end = first, first + extra
    while start > 0 and large[start - 1][0] == PIECE:
        start -= 1
    while end < len(large) and large[end][0] == PIECE:
        end += 1

    def moved(entry):
        name, occurrence = entry
        return (name, str(int(occurrence) - extra)) if name == PIECE else entry
    if extra <= 0 or any(name != PIECE for name, _ in large[first:first + extra]) or \
            [moved(e) for e in large[first + extra:]] != small[first:]:
        raise SystemExit("sweep: with the small database the update makes other calls than the "
                         "pieces of its copy (%d calls counted, %d with the large one)" % (len(small), len(large)))
    return range(start + 1, end + 1), extra


def is_call(name):
    """A platform call, which a fault can fail, rather than a kill point inside one
    ("CopyFileA.piece")."""
    return "." not in name
