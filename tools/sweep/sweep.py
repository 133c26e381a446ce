#!/usr/bin/python3
"""Fault, kill and state sweeps of the host vkupdate: an update that goes wrong halfway must leave
the installation and the user's data recoverable, on machines in the states users' machines are in.

  sweep.py [--machines xp,98] [--faults all|sample|none] [--kills N] [--cases FILE]
           [--states all|sample|none|NAME,...] [--state-machines xp,2000,nt4,98] [--catalogue FILE]
           [--jobs N] [--timeout S] [--work DIR] [--keep]

For each machine kind a seeded machine (build 3.15 installed) is made once and copied for every
run. A counting run of a whole update (VKUPDATE_CALLS) lists every counted platform call with
its occurrence; it is also the reference of what a good update leaves.

  fault sweep   one run per (call, occurrence), that one call failing with the error that
                platform/platform_calls.def gives it (VKUPDATE_FAULTS); "sample" takes each call once
  kill sweep    one run per kill point N, spread over the whole run: the updater stops with
                SIGKILL at its Nth counted call (VKUPDATE_KILL_AT); --timed-kills adds runs killed
                at moments spread over the run's duration, which also land inside calls
  --cases FILE  runs listed one a line: "MACHINE fault CALL OCCURRENCE", "MACHINE kill N", or
                "MACHINE kill CALL OCCURRENCE" (killed at that call)
  state sweep   the update without fault on machines in the states of the catalogue (states.txt),
                each made with vkmachine commands: once, then again; "sample" runs the states the
                catalogue marks, each on one machine

After each run: no crash, no sanitizer report, no hang, the dialog ends normally; the success
message only when every target holds its new bytes (after the restart, for the driver); every
target holds its old or new bytes, or its new bytes lie under a temporary name in the folder
it is installed into; every data file keeps its bytes in the install folder or the data folder;
registry.reg reads, and holds every value the update does not set as it was. Then a second run
without fault on the same machine must end with the success message and leave what a good
update leaves, after which the installation is identified as current, and no installed file is
read-only. A state also has its expected outcome: the update completes; or it is refused (string
4) or finds no installation (string 0), and then nothing on the machine changed, and the second
run, after the catalogue's fix, completes (without a fix, it is refused again). What a good update
leaves on a state is what it leaves on the machine before the state's commands, with what the
state made kept as made (see states.txt); a machine installed into other folders must update as
the kind's own machine does, its folders mapped.

Prints one line per violation, a summary per machine, and a last line
"sweep: N pairs, K kill points, S states, V violations, T s" (S: runs of a state on a machine).
Exits 1 when a violation was found.
"""
import argparse
import concurrent.futures
import copy
import functools
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import zlib

sys.dont_write_bytecode = True  # nothing written into the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path[:0] = [os.path.join(SOURCE, "tests", "e2e"), os.path.join(SOURCE, "scripts")]
import hashlib  # noqa: E402
import converse  # noqa: E402  the dialog driver of the end-to-end tests
import machine_view  # noqa: E402  the independent reader of a machine
import platform_calls  # noqa: E402  the table of platform calls
import states  # noqa: E402  the catalogue of machine states

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
SANITIZER = re.compile(r"Sanitizer|runtime error:")
# vkupdate and vkmachine allocate in huge pages where the kernel allows it: an update reads and
# writes megabytes, and taking that memory a 4 KiB page at a time was half of its time. Only
# the placement of memory changes; a sanitizer's allocator ignores it.
CHILD_ENV = dict(os.environ, GLIBC_TUNABLES=":".join(
    t for t in (os.environ.get("GLIBC_TUNABLES"), "glibc.malloc.hugetlb=1") if t))
# Message box styles: MB_YESNO with MB_ICONQUESTION, MB_YESNO with MB_ICONINFORMATION, MB_OK
# with MB_ICONINFORMATION.
QUESTION, RESTART_QUESTION, OUTCOME = 0x24, 0x44, 0x40


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
            with open(os.path.join(at, name), "rb") as f:
                found[os.path.relpath(os.path.join(at, name), folder)] = hashlib.sha1(f.read()).hexdigest()
    return found


class Run:
    """One run of the updater over a machine: its events, its end, what it wrote on stderr."""

    def __init__(self, events, returncode, stderr, problem):
        self.events = events
        self.returncode = returncode
        self.stderr = stderr
        self.problem = problem  # the driver's complaint: a hang, an unexpected event

    def messages(self):
        return [e for e in self.events if e.get("event") == "message"]


class Sweep:
    def __init__(self, args):
        self.args = args
        self.texts = converse.string_table(os.path.join(SOURCE, "resources", "strings.rc"))
        self.errors = platform_calls.natural_errors()
        self.work = args.work
        self.seals = {}  # seed folder: its folder_digest when made

    def seal(self, seed):
        """Takes the digest of a seed that runs copy, for changed_seeds at the end."""
        self.seals[seed] = folder_digest(seed)

    def changed_seeds(self):
        """A line for each seed that is no longer as it was made: a run wrote into it."""
        found = []
        for seed, sealed in sorted(self.seals.items()):
            now = folder_digest(seed) if os.path.isdir(seed) else {}
            differ = sorted(p for p in set(sealed) | set(now) if sealed.get(p) != now.get(p))
            if differ:
                found.append("the seed %s changed during the sweep: %s" % (os.path.relpath(seed, self.work),
                                                                          listing(differ)))
        return found

    # -- running the updater -------------------------------------------------------------

    def run(self, machine, answer, env_extra, log, kill_after=None):
        """Runs vkupdate on `machine`; `answer(event, state)` gives the lines to send. With
        `kill_after` (seconds) it is killed then, wherever it is."""
        env = dict(CHILD_ENV, VKUPDATE_MACHINE=machine, **env_extra)
        for name in ("VKUPDATE_FAULTS", "VKUPDATE_KILL_AT", "VKUPDATE_CALLS"):
            if name not in env_extra:
                env.pop(name, None)
        events, problem, state = [], None, {}
        with open(log, "w+", encoding="utf-8", errors="replace") as stderr:
            dialog = converse.Dialog(self.args.vkupdate, env=env, stderr=stderr, timeout=self.args.timeout)
            timer = threading.Timer(kill_after, dialog.process.kill) if kill_after is not None else None
            if timer:
                timer.start()
            deadline = time.monotonic() + 4 * self.args.timeout
            try:
                while True:
                    if time.monotonic() > deadline:
                        raise converse.Mismatch("the run did not end within %d s" % (4 * self.args.timeout))
                    event = dialog.next()
                    events.append(event)
                    if event.get("event") == "end":
                        break
                    if event.get("event") == "beep":
                        # Esc refused: the Exit button stayed disabled. The user gives up
                        # (the end of input), after which the host closes the dialog.
                        dialog.process.stdin.close()
                        continue
                    for line in answer(event, state):
                        try:
                            dialog.send(line)
                        except OSError:
                            break  # it has ended: its last events are still read
            except converse.Mismatch as e:
                if not str(e).startswith("the program ended"):
                    problem = str(e)
            try:
                dialog.process.stdin.close()
            except OSError:
                pass
            try:
                returncode = dialog.process.wait(timeout=self.args.timeout)
            except subprocess.TimeoutExpired:
                problem = problem or "the program did not end after its dialog"
                dialog.process.kill()
                returncode = dialog.process.wait()
            if timer:
                timer.cancel()
            stderr.seek(0)
            text = stderr.read()
        return Run(events, returncode, text, problem)

    def answer_any(self, event, state, folder=PRODUCT):
        """Answers whatever comes, as a user who wants the update: Start, Yes to the update
        question, OK, the product folder in the picker, Yes to the first restart offer and No
        to the next. Each answer is followed by "exit", which only the dialog itself takes (a
        message box refuses it), so that the run ends wherever the update stops."""
        kind = event.get("event")
        if kind == "dialog":
            return ["start", "exit"]
        if kind == "picker":
            return [folder, "", "exit"]
        if kind == "message":
            style = event.get("style")
            if style == RESTART_QUESTION:
                state["restarts"] = state.get("restarts", 0) + 1
                return ["yes" if state["restarts"] == 1 else "no", "exit"]
            if style & 0xF == 4:
                return ["yes" if style == QUESTION else "no", "exit"]
            return ["ok", "exit"]
        return []

    def answer_rerun(self, event, state, folder=PRODUCT):
        """The second run: the update (after the question, if the first run got far enough),
        the success message, then Start again, which must ask the question (the installation
        is current), No, Exit and No to the restart."""
        kind = event.get("event")
        step = state.setdefault("step", "start")
        text = event.get("text")
        if kind == "dialog" and step == "start":
            state["step"] = "update"
            return ["start"]
        if kind == "message" and step == "update" and text == self.texts["IDS_ALREADY_CURRENT"]:
            state["step"] = "update-asked"
            return ["yes"]
        if kind == "message" and step in ("update", "update-asked") and text == self.texts["IDS_UPDATE_DONE"]:
            state["step"] = "current"
            return ["ok", "start"]
        if kind == "message" and step == "current" and text == self.texts["IDS_ALREADY_CURRENT"]:
            state["step"] = "leave"
            return ["no", "exit"]
        if kind == "message" and step == "leave" and text == self.texts["IDS_RESTART_QUESTION"]:
            state["step"] = "done"
            return ["no"]
        if kind in ("progress", "restart"):
            return []
        if kind == "picker" and step in ("update", "current"):
            return [folder, ""]
        raise converse.Mismatch("at the step %s of the second run: %s" % (step, summary(event)))

    # -- the machines --------------------------------------------------------------------

    def vkmachine(self, *args):
        result = subprocess.run([self.args.vkmachine] + list(args), capture_output=True, text=True, env=CHILD_ENV)
        return result.returncode, result.stdout + result.stderr

    def reboot(self, machine, into):
        """A restarted copy of `machine` in `into` (`machine` itself restarted when `into` is
        None); the restart's complaint, or None."""
        if into is not None:
            copy_machine(machine, into)
        code, output = self.vkmachine("reboot", into or machine)
        return None if code == 0 else "the restart failed: " + output.strip()

    def prepare(self, kind):
        """Seeds the machine twice, with the large database and with the small one, runs the
        counting update on each, and takes what a good update leaves. The Reference returned
        is the large seed's; its `small` the small seed's."""
        ref = self.counted(kind, os.path.join(self.work, kind), DATABASE_SIZE)
        ref.small = self.counted(kind, os.path.join(self.work, kind, "small"), SMALL_DATABASE_SIZE)
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

    def counted(self, kind, base, database_size):
        """A seeded machine in `base`/seed, and the counting update on it: its Reference."""
        seed = os.path.join(base, "seed")
        os.makedirs(base, exist_ok=True)
        shutil.rmtree(seed, ignore_errors=True)
        for args in (["create", seed] + MACHINES[kind],
                     ["install-product", seed, "--version", OLD_BUILD, "--database-size", str(database_size)]):
            code, output = self.vkmachine(*args)
            if code != 0:
                raise SystemExit("sweep: vkmachine %s: %s" % (" ".join(args), output))
        calls = os.path.join(base, "calls")
        if os.path.exists(calls):
            os.remove(calls)
        ref, problem = self.reference(kind, seed, base, PRODUCT, {"VKUPDATE_CALLS": calls})
        if problem:
            raise SystemExit("sweep: the update without fault failed on %s: %s" % (kind, problem))
        self.seal(seed)
        ref.calls = [tuple(line.rsplit(" ", 1)) for line in open(calls, encoding="utf-8").read().splitlines()]
        missing = sorted({name for name, _ in ref.calls if is_call(name)} - set(self.errors))
        if missing:
            raise SystemExit("sweep: platform_calls.def counts no call %s" % ", ".join(missing))
        return ref

    def reference(self, kind, seed, base, install, env):
        """What an update without fault leaves on `seed` (a copy, in `base`): the Reference, or
        None and what went wrong."""
        ref = Reference(kind, seed, install)
        after = os.path.join(base, "reference")
        copy_machine(seed, after)
        begun = time.monotonic()
        run = self.run(after, functools.partial(self.answer_any, folder=install), env,
                       os.path.join(base, "reference.log"))
        ref.duration = time.monotonic() - begun
        shown = [e.get("text") for e in run.messages()]
        if run.problem or run.returncode != 0 or self.texts["IDS_UPDATE_DONE"] not in shown:
            return None, "%s (exit %s), messages %s %s" % (run.problem, run.returncode, self.shown(run),
                                                           run.stderr.strip()[-500:])
        booted = os.path.join(base, "reference-restarted")
        problem = self.reboot(after, booted)
        if problem:
            return None, problem
        ref.learn(after, booted)
        return ref, None

    def shown(self, run):
        """The messages of a run by their string identifiers (a path as it is)."""
        names = {text: name for name, text in self.texts.items()}
        return [names.get(e.get("text"), e.get("text")) for e in run.messages()]

    # -- one case ------------------------------------------------------------------------

    def case(self, ref, what, value):
        """Runs one case on a fresh copy of its seed; returns its violations (texts)."""
        label = "%s %s %s" % (ref.kind, what, value)
        ref, value = seed_of(ref, what, value)
        folder = tempfile.mkdtemp(prefix="case-", dir=os.path.join(self.work, ref.kind))
        machine = os.path.join(folder, "m")
        if self.args.run_on_seed:
            machine = ref.seed  # the seed check's own check: this must fail the sweep
        else:
            copy_machine(ref.seed, machine)
        calls = os.path.join(folder, "calls")
        if what == "fault":
            name, occurrence = value.rsplit(":", 1)
            env = {"VKUPDATE_FAULTS": "%s:%s:%d" % (name, occurrence, self.errors[name])}
        elif what == "kill":
            env = {"VKUPDATE_KILL_AT": str(value), "VKUPDATE_CALLS": calls}
        else:
            env = {}
        found = []
        run = self.run(machine, self.answer_any, env, os.path.join(folder, "run.log"),
                       kill_after=value if what == "timed" else None)
        found += self.check_end(run, what, value, calls)
        found += self.check_state(ref, machine, run, folder)
        if not found:
            found += self.check_rerun(ref, machine, folder)
        if found and self.args.keep:
            found.append("kept in " + folder)
        else:
            shutil.rmtree(folder, ignore_errors=True)
        return label, found

    def check_end(self, run, what, value, calls):
        found = []
        if run.problem:
            found.append("the dialog: " + run.problem)
        if SANITIZER.search(run.stderr):
            found.append("sanitizer report: " + run.stderr.strip()[-2000:])
        if what == "kill":
            recorded = len(open(calls).read().splitlines()) if os.path.exists(calls) else 0
            if run.returncode != -signal.SIGKILL or recorded != int(value):
                found.append("not killed at call %s: exit %s after %d calls" % (value, run.returncode, recorded))
            return found
        kinds = [e.get("event") for e in run.events]
        if what == "timed" and run.returncode == -signal.SIGKILL:
            return found
        if "dialog" in kinds:
            if run.returncode != 0 or kinds[-1:] != ["end"]:
                found.append("the dialog did not end normally: exit %s, last event %s" %
                             (run.returncode, kinds[-1:]))
        elif run.returncode != 1 or "could not be shown" not in run.stderr:
            found.append("no dialog, exit %s: %s" % (run.returncode, run.stderr.strip()[-500:]))
        return found

    def check_state(self, ref, machine, run, folder):
        """The invariants of a machine after any run, successful or not."""
        files = machine_view.file_hashes(machine)
        found = ref.check_targets(files) + ref.check_data(files) + ref.check_registry(machine)
        claimed = [e for e in run.messages()
                   if e.get("style") == OUTCOME and e.get("text") != self.texts["IDS_NOT_INSTALLED"]]
        if claimed:
            booted = os.path.join(folder, "restarted")
            problem = self.reboot(machine, booted)
            installed = machine_view.file_hashes(booted) if not problem else {}
            stale = [t for t in ref.targets if installed.get(t) != ref.new[t]] if not problem else []
            if problem or stale:
                found.append("success shown, but %s" % (problem or "not installed: " + listing(stale)))
            shutil.rmtree(booted, ignore_errors=True)
        return found

    def check_rerun(self, ref, machine, folder):
        """A second run without fault completes, and the machine is as a good update leaves it."""
        run = self.run(machine, functools.partial(self.answer_rerun, folder=ref.install_path), {},
                       os.path.join(folder, "rerun.log"))
        found = []
        if run.problem or run.returncode != 0 or SANITIZER.search(run.stderr):
            found.append("the second run: %s (exit %s) %s" % (run.problem, run.returncode, run.stderr.strip()[-500:]))
            return found
        found += ref.check_data(machine_view.file_hashes(machine))
        found += ref.check_registry(machine, after_update=True)
        # Nothing reads the machine after this: it restarts in place, unless it is to be kept.
        booted = os.path.join(folder, "restarted") if self.args.keep else machine
        problem = self.reboot(machine, None if booted == machine else booted)
        if problem:
            return found + ["after the second run: " + problem]
        found += ref.check_files_as_good_update(booted)
        found += ref.check_writable(booted)
        if booted != machine:
            shutil.rmtree(booted, ignore_errors=True)
        return ["after the second run: " + f for f in found]


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


class Layout:
    """A machine kind as installed for some states: made by create, the commands before
    install-product and install-product; with what a good update leaves on it."""

    def __init__(self, kind, seed, install):
        self.kind = kind
        self.seed = seed
        self.install = install  # the Windows path of the install folder
        self.places = {}
        self.made = False       # made without fault (else `failure` says why)
        self.ref = None         # the Reference, when the update completed on it
        self.failure = None     # else what the update did
        self.problems = []      # where it differs from the kind's own machine (mapped)


class StateSweep:
    """The update run on machines in the states of the catalogue (states.txt): each state is
    made with vkmachine on an installed machine, the update runs on it once and then again, and
    its expected outcome and the sweep's invariants are checked."""

    def __init__(self, sweep, catalogue):
        self.sweep = sweep
        self.catalogue = catalogue
        self.layouts = {}

    # -- making machines -----------------------------------------------------------------

    def places(self, machine, kind, install):
        """The {names} of the catalogue on `machine`."""
        places = {"install": install, "system": ini_value(machine, "system"),
                  "temp": ini_value(machine, "temp").rstrip("\\"), "documents": ini_value(machine, "documents")}
        places["data"] = places["documents"] + "\\VkTARN Data"
        drivers = states.driver_places(kind)
        places.update(drivers, drivers=places["system"] + "\\" + drivers["drivers"])
        shell = load_registry(machine).get(machine_view.long_key(states.KEYS["shellfolders"]).upper())
        if shell and "common programs" in shell[1]:
            places["programs"] = shell[1]["common programs"][2]
        return places

    def apply(self, machine, commands, places):
        """Runs vkmachine COMMAND MACHINE ARGS for each command; None or what failed."""
        for command in commands:
            try:
                args = states.expand_all(command, places)
            except KeyError as e:
                return "no place {%s} for %s" % (e.args[0], " ".join(command))
            code, output = self.sweep.vkmachine(args[0], machine, *args[1:])
            if code != 0:
                return "vkmachine %s: %s" % (" ".join(args), output.strip())
        return None

    def layout(self, kind, state, default, base):
        """The installed machine of `state` on `kind`, made in `base` (once for the states that
        share it)."""
        key = state.layout(kind)
        seed = os.path.join(base, "seed")
        os.makedirs(base, exist_ok=True)
        install = dict(zip(state.install[::2], state.install[1::2])).get("--folder")
        layout = Layout(kind, seed, states.pad(install) if install else PRODUCT)
        self.layouts[key] = layout
        code, output = self.sweep.vkmachine("create", seed, *(MACHINES[kind] + states.expand_all(state.create, {})))
        problem = "vkmachine create: " + output.strip() if code != 0 else None
        if not problem:
            layout.places = self.places(seed, kind, layout.install)
            problem = self.apply(seed, state.before, layout.places)
        if not problem:
            code, output = self.sweep.vkmachine("install-product", seed, "--version", OLD_BUILD,
                                                "--database-size", str(DATABASE_SIZE),
                                                *states.expand_all(state.install, layout.places))
            problem = "vkmachine install-product: " + output.strip() if code != 0 else None
        if problem:
            layout.failure = "the machine could not be made: " + problem
            return layout
        layout.made = True
        layout.places = self.places(seed, kind, layout.install)
        self.sweep.seal(seed)
        if key == (kind, (), (), ()):
            layout.ref = default
            return layout
        layout.ref, failure = self.sweep.reference(kind, seed, base, layout.install, {})
        if failure:
            layout.failure = "the update on the machine as installed, before the state's commands: " + failure
        else:
            layout.problems = compare_layout(default, layout.ref)
        return layout

    # -- one state -----------------------------------------------------------------------

    def case(self, kind, state):
        label = "%s state %s" % (kind, state.name)
        folder = tempfile.mkdtemp(prefix="state-", dir=os.path.join(self.sweep.work, kind))
        found = self.check(self.layouts[state.layout(kind)], state, folder)
        if found and self.sweep.args.keep:
            found.append("kept in " + folder)
        else:
            shutil.rmtree(folder, ignore_errors=True)
        return label, found

    def check(self, layout, state, folder):
        sweep = self.sweep
        needs_reference = state.expect == "complete" or state.fix
        if not layout.made or (needs_reference and layout.ref is None):
            return [layout.failure]
        found = list(layout.problems)
        made = os.path.join(folder, "state")
        copy_machine(layout.seed, made)
        problem = self.apply(made, state.commands, layout.places)
        if problem:
            return found + ["the state could not be made: " + problem]
        ref = None
        if needs_reference:
            expected = made
            if state.fix:
                expected = os.path.join(folder, "fixed")
                copy_machine(made, expected)
                problem = self.apply(expected, state.fix, layout.places)
            ref, problem = (None, problem) if problem else self.reference(layout, expected, state, folder)
            if problem:
                return found + ["the catalogue's expectation: " + problem]
        machine = os.path.join(folder, "m")
        copy_machine(made, machine)
        answer = functools.partial(sweep.answer_any, folder=layout.install)
        run = sweep.run(machine, answer, {}, os.path.join(folder, "run.log"))
        found += sweep.check_end(run, "state", None, None) + self.check_outcome(run, state.expect)
        if state.expect == "complete":
            found += sweep.check_state(ref, machine, run, folder)
        else:
            found += changes(made, machine)
        if found:
            return found
        if state.fix:
            problem = self.apply(machine, state.fix, layout.places)
            return ["the fix: " + problem] if problem else sweep.check_rerun(ref, machine, folder)
        if state.expect == "complete":
            return sweep.check_rerun(ref, machine, folder)
        run = sweep.run(machine, answer, {}, os.path.join(folder, "rerun.log"))
        found = sweep.check_end(run, "state", None, None) + self.check_outcome(run, state.expect) + \
            changes(made, machine)
        return ["the second run: " + f for f in found]

    def check_outcome(self, run, expect):
        shown = self.sweep.shown(run)
        wanted = {"complete": "IDS_UPDATE_DONE", "refused": "IDS_IO_ERROR", "not-found": "IDS_NOT_INSTALLED"}[expect]
        if wanted in shown and (expect == "complete" or "IDS_UPDATE_DONE" not in shown):
            return []
        return ["expected %s (%s), the messages were %s" % (expect, wanted, shown or "none")]

    def reference(self, layout, machine, state, folder):
        """What a good update leaves on `machine` (the state, after its fix): what it leaves on
        the installed machine, with what the state made kept as the state made it, except the
        updater's own temporary files (which may go), the targets (which the update replaces),
        data files (which move unless their place in the data folder is taken), and what the
        catalogue's "after:" and "keeps:" lines say. Returns (Reference, None) or (None, why)."""
        base = layout.ref
        ref = Reference(base.kind, machine, layout.install)
        made, installed = ref.old, base.old
        new, alternatives = dict(base.new), {}
        disturbed = {p for p in set(made) | set(installed) if made.get(p) != installed.get(p)}
        lowered = {p.lower() for p in disturbed}
        targets = {t.lower() for t in base.targets}
        data = data_folder(base)
        blocked = data is not None and data in made  # a file where the data folder goes

        def put(path, digest):
            new.pop(path, None)
            if digest is not None:
                new[path] = digest
        for path in disturbed:
            name = os.path.basename(path)
            if path.lower() in targets:
                continue
            if TEMP_NAME.match(name) and any(under(path, f) for f in (ref.install, ref.system, ref.temp)):
                put(path, None)
                alternatives[path] = {made.get(path), base.new.get(path)} - {None}
            elif os.path.dirname(path) == ref.install and DATA_FILE.match(name) and data and not blocked \
                    and os.path.join(data, name).lower() not in lowered and path not in base.new:
                put(path, None)
                put(os.path.join(data, name), made.get(path))
            else:
                put(path, made.get(path))
        if data is not None:
            for path in made:
                name = os.path.basename(path)
                if os.path.dirname(path) == ref.install and DATA_FILE.match(name) and \
                        (blocked or os.path.join(data, name).lower() in lowered):
                    put(path, made[path])  # its place in the data folder is taken: it stays
            if blocked:
                for path in [p for p in new if under(p, data)]:
                    put(path, None)
        registry = copy.deepcopy(base.new_registry)
        for key, name in values(ref.old_registry) | values(base.old_registry):
            entry = ref.old_registry.get(key, (None, {}))[1].get(name)
            if value_of(ref.old_registry, key, name) == value_of(base.old_registry, key, name):
                continue
            if (key, name) == (machine_view.SESSION_MANAGER.upper(), machine_view.PENDING.lower()) and \
                    entry is not None and entry[1] == 7:
                # Operations queued by other software stay, before the update's own.
                queued = base.new_registry.get(key, (None, {}))[1].get(name)
                entry = (entry[0], 7, entry[2] + (queued[2] if queued else []))
            put_value(registry, ref.old_registry, key, name, entry)
        for keep in state.keeps:
            path = states.expand(keep, layout.places)
            if path.upper().startswith(("HKLM\\", "HKCU\\", "HKEY_")):
                key = machine_view.long_key(path).upper()
                for k, name in values(ref.old_registry) | values(registry):
                    if k == key or k.startswith(key + "\\"):
                        put_value(registry, ref.old_registry, k, name, ref.old_registry.get(k, (None, {}))[1].get(name))
                continue
            kept = rel(machine, path)
            for p in set(made) | set(new):
                if p.lower() == kept.lower() or under(p, kept):
                    put(p, made.get(p))
        if state.after:
            scratch = os.path.join(folder, "after")
            copy_machine(machine, scratch)
            problem = self.apply(scratch, state.after, layout.places)
            if problem:
                return None, problem
            files, after = machine_view.file_hashes(scratch), load_registry(scratch)
            for p in set(files) | set(made):
                if files.get(p) != made.get(p):
                    put(p, files.get(p))
            for key, name in values(after) | values(ref.old_registry):
                if value_of(after, key, name) != value_of(ref.old_registry, key, name):
                    put_value(registry, after, key, name, after.get(key, (None, {}))[1].get(name))
        ref.booted, ref.new, ref.new_registry, ref.alternatives = base.booted, new, registry, alternatives
        ref.derive(targets=base.targets)
        return ref, None

    # -- the whole catalogue -------------------------------------------------------------

    def cases(self, kinds, chosen):
        """(kind, state) for the states chosen: all, sample (the marked states, each on its
        first machine), or names."""
        picked = []
        names = set(chosen.split(",")) - {"all", "sample"}
        unknown = names - {s.name for s in self.catalogue}
        if unknown:
            raise SystemExit("sweep: no state %s in the catalogue" % ", ".join(sorted(unknown)))
        for state in self.catalogue:
            if chosen == "sample":
                picked += [(state.sample, state)] if state.sample else []
            elif chosen == "all" or state.name in names:
                picked += [(kind, state) for kind in state.kinds if kind in kinds]
        return picked

    def run(self, cases, defaults, jobs):
        """Makes the layouts, then runs every case; yields (label, violations)."""
        needed = {}
        for kind, state in cases:
            needed.setdefault(state.layout(kind), (kind, state))
        with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
            bases = [os.path.join(self.sweep.work, kind, "layout-%d" % n) for n, (kind, _) in enumerate(needed.values())]
            list(pool.map(lambda ks, base: self.layout(ks[0], ks[1], defaults[ks[0]], base), needed.values(), bases))
            yield from pool.map(lambda ks: self.case(*ks), cases)


def data_folder(ref):
    """Where the update put the data files on a reference machine (a path below it), or None."""
    for _, places in ref.data.values():
        if len(places) > 1:
            return os.path.dirname(places[1])
    return None


def put_value(registry, source, key, name, entry):
    """Sets (or, with entry None, removes) one value of a registry as load_registry reads it."""
    if entry is None:
        registry.get(key, (None, {}))[1].pop(name, None)
    else:
        registry.setdefault(key, (source.get(key, (key,))[0], {}))[1][name] = entry


def changes(before, after):
    """What differs between two machines: files, attributes, registry values (none when a run
    left the machine as it found it)."""
    found = []
    a, b = machine_view.file_hashes(before), machine_view.file_hashes(after)
    differ = sorted(p for p in set(a) | set(b) if a.get(p) != b.get(p))
    if differ:
        found.append("files changed: " + listing(differ))
    a, b = attributes(before), attributes(after)
    differ = sorted(p for p in set(a) | set(b) if a.get(p, 0x20) != b.get(p, 0x20))
    if differ:
        found.append("attributes changed: " + listing(differ))
    a, b = load_registry(before), load_registry(after)
    differ = sorted("%s \"%s\"" % kn for kn in values(a) | values(b) if value_of(a, *kn) != value_of(b, *kn))
    if differ:
        found.append("registry changed: " + listing(differ))
    return found


def compare_layout(default, layout):
    """A machine installed into other folders updates as the kind's own does: every target
    holds the same new bytes in the mapped folder, and nothing is written elsewhere."""
    def folders(ref):
        places = {"install": ref.install, "system": ref.system,
                  "documents": rel(ref.seed, ini_value(ref.seed, "documents"))}
        shell = ref.old_registry.get(machine_view.long_key(states.KEYS["shellfolders"]).upper())
        if shell and "common programs" in shell[1]:
            places["programs"] = rel(ref.seed, shell[1]["common programs"][2])
        return places
    mine, theirs = folders(default), folders(layout)
    pairs = sorted(((mine[k], theirs[k]) for k in mine if k in theirs), key=lambda p: -len(p[0]))

    def mapped(path):
        for a, b in pairs:
            if path.lower() == a.lower() or under(path, a):
                return b + path[len(a):]
        return path
    new = {p.lower(): d for p, d in layout.new.items()}
    found = ["%s: not its new bytes (as %s on the kind's own machine)" % (mapped(t), t)
             for t in default.targets if new.get(mapped(t).lower()) != default.new[t]]
    allowed = {p.lower() for p in layout.old} | {mapped(p).lower() for p in default.new}
    found += ["%s: a file the update does not make on the kind's own machine" % p
              for p in sorted(layout.new) if not under(p, layout.temp) and p.lower() not in allowed]
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


def seed_of(ref, what, value):
    """The Reference a case runs on and its value there: a kill point inside the copy of the
    large database, and a kill at a moment, on the large seed; every other case on the small
    one, a kill point after the copy numbered as the small seed's run counts it."""
    if what == "timed" or (what == "kill" and value in ref.copy_points):
        return ref, value
    if what == "kill" and value >= ref.copy_points.stop:
        return ref.small, value - ref.extra_points
    return ref.small, value


def is_call(name):
    """A platform call, which a fault can fail, rather than a kill point inside one
    ("CopyFileA.piece")."""
    return "." not in name


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


def summary(event):
    return "%s %s %s" % (event.get("event"), event.get("style", ""), event.get("text", ""))


def listing(paths, limit=4):
    return ", ".join(paths[:limit]) + (", ..." if len(paths) > limit else "")


def spread(count, total):
    """`count` call numbers from 1 to `total`, evenly apart."""
    if count >= total:
        return list(range(1, total + 1))
    return sorted({1 + (i * (total - 1)) // max(count - 1, 1) for i in range(count)})


def plan(ref, args, listed, swept):
    """The cases for one machine kind: (what, value); only the listed ones unless `swept`."""
    cases = []
    if not swept:
        args = argparse.Namespace(faults="none", kills=0, timed_kills=0)
    counts = {}
    for name, occurrence in ref.calls:
        if is_call(name):
            counts[name] = max(counts.get(name, 0), int(occurrence))
    if args.faults == "all":
        cases += [("fault", "%s:%s" % pair) for pair in ref.calls if is_call(pair[0])]
    elif args.faults == "sample":
        # Each call once, at an occurrence that stays the same from run to run.
        cases += [("fault", "%s:%d" % (name, 1 + zlib.crc32(name.encode()) % n)) for name, n in sorted(counts.items())]
    cases += [("kill", n) for n in spread(args.kills, len(ref.calls))] if args.kills else []
    # Kills at moments spread over the duration of the counting run, wherever they land.
    cases += [("timed", round(ref.duration * (i + 0.5) / args.timed_kills, 3)) for i in range(args.timed_kills)]
    for kind, what, value in listed:
        if kind == ref.kind and isinstance(value, tuple):
            if value not in ref.calls:
                raise SystemExit("sweep: %s makes no call %s %s" % (kind, *value))
            value = ref.calls.index(value) + 1
        if kind == ref.kind and (what, value) not in cases:
            cases.append((what, value))
    return cases


def read_cases(path):
    listed = []
    for line in open(path, encoding="utf-8"):
        words = line.split("#", 1)[0].split()
        if len(words) == 4 and words[1] == "fault":
            listed.append((words[0], "fault", "%s:%s" % (words[2], words[3])))
        elif len(words) == 3 and words[1] == "kill":
            listed.append((words[0], "kill", int(words[2])))
        elif len(words) == 4 and words[1] == "kill":
            listed.append((words[0], "kill", (words[2], words[3])))  # at that call
        elif words:
            raise SystemExit("sweep: %s: not a case: %s" % (path, line.strip()))
    return listed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--vkupdate", default=os.environ.get("VKUPDATE"))
    parser.add_argument("--vkmachine", default=os.environ.get("VKMACHINE"))
    parser.add_argument("--machines", default="xp,98")
    parser.add_argument("--faults", choices=("all", "sample", "none"), default="all")
    parser.add_argument("--kills", type=int, default=200)
    parser.add_argument("--timed-kills", type=int, default=0,
                        help="runs killed at moments spread over a run, inside calls as well")
    parser.add_argument("--cases", help="a file of further cases (regressions)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=int, default=30, help="seconds to wait for one event")
    parser.add_argument("--work", help="a folder for the machines (default: a temporary one)")
    parser.add_argument("--keep", action="store_true", help="keep the machines of failing cases")
    parser.add_argument("--states", default="none",
                        help="states of the catalogue to run the update on: all, sample, none or names")
    parser.add_argument("--state-machines", default=",".join(MACHINES),
                        help="the machine kinds the states run on (those each state names)")
    parser.add_argument("--catalogue", default=os.path.join(HERE, "states.txt"))
    parser.add_argument("--run-on-seed", action="store_true",
                        help="a check of the sweep itself: the fault and kill cases run on their seed "
                             "instead of a copy, which the check of the seeds must report")
    args = parser.parse_args()
    if not args.vkupdate or not args.vkmachine:
        parser.error("--vkupdate and --vkmachine (or VKUPDATE and VKMACHINE) are needed")
    shm = "/dev/shm" if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK) else None
    own_work = args.work is None
    args.work = args.work or tempfile.mkdtemp(prefix="vksweep-", dir=shm)
    listed = read_cases(args.cases) if args.cases else []

    started = time.monotonic()
    sweep = Sweep(args)
    pairs = kills = violations = tried = 0
    refs = {}
    try:
        swept = args.machines.split(",")
        for kind in swept + sorted({k for k, _, _ in listed} - set(swept)) + args.state_machines.split(","):
            if kind not in MACHINES:
                raise SystemExit("sweep: no machine \"%s\" (known: %s)" % (kind, ", ".join(MACHINES)))
        for kind in swept + sorted({k for k, _, _ in listed} - set(swept)):
            begun = time.monotonic()
            ref = refs[kind] = sweep.prepare(kind)
            cases = plan(ref, args, listed, kind in swept)
            n_faults = sum(1 for what, _ in cases if what == "fault")
            n_timed = sum(1 for what, _ in cases if what == "timed")
            n_kills = len(cases) - n_faults - n_timed
            if not cases:
                continue  # prepared for the state sweep alone
            print("sweep [%s]: %d calls counted; %d runs to do" % (kind, len(ref.calls), len(cases)), flush=True)
            inside = [value for what, value in cases if what == "kill" and value in ref.copy_points]
            if n_kills:
                print("sweep [%s]: kill points %d-%d lie inside the copy of the %d MiB database; %d of them are "
                      "tried on a seed holding it, every other run on a seed with a %d KiB one" %
                      (kind, ref.copy_points[0], ref.copy_points[-1], DATABASE_SIZE >> 20, len(inside),
                       SMALL_DATABASE_SIZE >> 10), flush=True)
            bad = done = faults_done = 0
            shown = time.monotonic()
            with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
                for (what, _), (label, found) in zip(cases, pool.map(lambda c: sweep.case(ref, *c), cases)):
                    for text in found:
                        print("VIOLATION [%s]: %s" % (label, text), flush=True)
                    bad += 1 if found else 0
                    done += 1
                    faults_done += what == "fault"
                    # Alive and how far, every half minute.
                    if time.monotonic() - shown >= 30 and done < len(cases):
                        shown = time.monotonic()
                        print("sweep [%s]: %d of %d pairs, %d of %d kill points; %d failing; %.0f s" %
                              (kind, faults_done, n_faults, done - faults_done, n_kills + n_timed, bad,
                               time.monotonic() - started), flush=True)
            print("sweep [%s]: %d calls counted; %d (call, occurrence) pairs, %d kill points and %d timed kills "
                  "tried; %d failing; %.0f s" % (kind, len(ref.calls), n_faults, n_kills, n_timed, bad,
                                                  time.monotonic() - begun), flush=True)
            pairs, kills, violations = pairs + n_faults, kills + n_kills + n_timed, violations + bad
        if args.states != "none":
            begun = time.monotonic()
            catalogue = StateSweep(sweep, states.read_catalogue(args.catalogue))
            cases = catalogue.cases(args.state_machines.split(","), args.states)
            missing = sorted({kind for kind, _ in cases} - set(refs))
            with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
                refs.update(zip(missing, pool.map(sweep.prepare, missing)))
            print("sweep [states]: %d runs to do" % len(cases), flush=True)
            bad = done = 0
            shown = time.monotonic()
            for label, found in catalogue.run(cases, refs, args.jobs):
                for text in found:
                    print("VIOLATION [%s]: %s" % (label, text), flush=True)
                bad += 1 if found else 0
                done += 1
                if time.monotonic() - shown >= 30 and done < len(cases):
                    shown = time.monotonic()
                    print("sweep [states]: %d of %d runs; %d failing; %.0f s" %
                          (done, len(cases), bad, time.monotonic() - started), flush=True)
            print("sweep [states]: %d states of %d in the catalogue, %d runs (state, machine); %d failing; %.0f s" %
                  (len({s.name for _, s in cases}), len(catalogue.catalogue), len(cases), bad,
                   time.monotonic() - begun), flush=True)
            tried, violations = len(cases), violations + bad
        changed = sweep.changed_seeds()
        for text in changed:
            print("VIOLATION: " + text, flush=True)
        if not changed:
            print("sweep: %d seeds unchanged after their runs" % len(sweep.seals), flush=True)
        violations += len(changed)
    finally:
        if own_work and not args.keep:
            shutil.rmtree(args.work, ignore_errors=True)
    print("sweep: %d pairs, %d kill points, %d states, %d violations, %.0f s" %
          (pairs, kills, tried, violations, time.monotonic() - started))
    return 1 if violations else 0


if __name__ == "__main__":
    sys.exit(main())
