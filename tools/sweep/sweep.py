#!/usr/bin/python3
"""Fault and kill sweeps of the host vkupdate: an update that goes wrong halfway must leave the
installation and the user's data recoverable.

  sweep.py [--machines xp,98] [--faults all|sample|none] [--kills N] [--cases FILE]
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

After each run: no crash, no sanitizer report, no hang, the dialog ends normally; the success
message only when every target holds its new bytes (after the restart, for the driver); every
target holds its old or new bytes, or its new bytes lie under a temporary name in the folder
it is installed into; every data file keeps its bytes in the install folder or the data folder;
registry.reg reads, and holds every value the update does not set as it was. Then a second run
without fault on the same machine must end with the success message and leave what a good
update leaves, after which the installation is identified as current.

Prints one line per violation, a summary per machine, and a last line
"sweep: N pairs, K kill points, V violations, T s". Exits 1 when a violation was found.
"""
import argparse
import concurrent.futures
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
import converse  # noqa: E402  the dialog driver of the end-to-end tests
import machine_view  # noqa: E402  the independent reader of a machine
import platform_calls  # noqa: E402  the table of platform calls

# Machine kinds: vkmachine create options.
MACHINES = {
    "xp": [],
    "98": ["--platform", "1", "--major", "4", "--minor", "10", "--system", "C:\\WINDOWS\\SYSTEM"],
}
PRODUCT = "C:\\Program Files\\Orvane\\Velkor TARN"
OLD_BUILD = "3, 1, 5, 0"
# A disc database of a user's years: its copy into the data folder spans many kill points.
DATABASE_SIZE = 16 << 20
# What the product keeps beside itself and the update moves to the data folder.
DATA_FILE = re.compile(r"^(VKCDDB\.DB|CHG\.LOG|.*\.LST)$", re.IGNORECASE)
TEMP_NAME = re.compile(r"^vk\d+\.tmp$", re.IGNORECASE)
SANITIZER = re.compile(r"Sanitizer|runtime error:")
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

    # -- running the updater -------------------------------------------------------------

    def run(self, machine, answer, env_extra, log, kill_after=None):
        """Runs vkupdate on `machine`; `answer(event, state)` gives the lines to send. With
        `kill_after` (seconds) it is killed then, wherever it is."""
        env = dict(os.environ, VKUPDATE_MACHINE=machine, **env_extra)
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

    def answer_any(self, event, state):
        """Answers whatever comes, as a user who wants the update: Start, Yes to the update
        question, OK, the product folder in the picker, Yes to the first restart offer and No
        to the next. Each answer is followed by "exit", which only the dialog itself takes (a
        message box refuses it), so that the run ends wherever the update stops."""
        kind = event.get("event")
        if kind == "dialog":
            return ["start", "exit"]
        if kind == "picker":
            return [PRODUCT, "", "exit"]
        if kind == "message":
            style = event.get("style")
            if style == RESTART_QUESTION:
                state["restarts"] = state.get("restarts", 0) + 1
                return ["yes" if state["restarts"] == 1 else "no", "exit"]
            if style & 0xF == 4:
                return ["yes" if style == QUESTION else "no", "exit"]
            return ["ok", "exit"]
        return []

    def answer_rerun(self, event, state):
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
        raise converse.Mismatch("at the step %s of the second run: %s" % (step, summary(event)))

    # -- the machines --------------------------------------------------------------------

    def vkmachine(self, *args):
        result = subprocess.run([self.args.vkmachine] + list(args), capture_output=True, text=True)
        return result.returncode, result.stdout + result.stderr

    def reboot(self, machine, into):
        """A restarted copy of `machine` in `into`; the restart's complaint, or None."""
        copy_machine(machine, into)
        code, output = self.vkmachine("reboot", into)
        return None if code == 0 else "the restart failed: " + output.strip()

    def prepare(self, kind):
        """Seeds the machine, runs the counting update, and takes what a good update leaves."""
        base = os.path.join(self.work, kind)
        seed = os.path.join(base, "seed")
        os.makedirs(base, exist_ok=True)
        shutil.rmtree(seed, ignore_errors=True)
        for args in (["create", seed] + MACHINES[kind],
                     ["install-product", seed, "--version", OLD_BUILD, "--database-size", str(DATABASE_SIZE)]):
            code, output = self.vkmachine(*args)
            if code != 0:
                raise SystemExit("sweep: vkmachine %s: %s" % (" ".join(args), output))
        ref = Reference(kind, seed)
        after = os.path.join(base, "reference")
        copy_machine(seed, after)
        calls = os.path.join(base, "calls")
        if os.path.exists(calls):
            os.remove(calls)
        begun = time.monotonic()
        run = self.run(after, self.answer_any, {"VKUPDATE_CALLS": calls}, os.path.join(base, "reference.log"))
        ref.duration = time.monotonic() - begun
        shown = [e.get("text") for e in run.messages()]
        if run.problem or run.returncode != 0 or self.texts["IDS_UPDATE_DONE"] not in shown:
            raise SystemExit("sweep: the update without fault failed on %s: %s %s %s" %
                             (kind, run.problem, run.returncode, run.stderr))
        booted = os.path.join(base, "reference-restarted")
        problem = self.reboot(after, booted)
        if problem:
            raise SystemExit("sweep: %s: %s" % (kind, problem))
        ref.learn(after, booted)
        ref.calls = [tuple(line.rsplit(" ", 1)) for line in open(calls, encoding="utf-8").read().splitlines()]
        missing = sorted({name for name, _ in ref.calls if is_call(name)} - set(self.errors))
        if missing:
            raise SystemExit("sweep: platform_calls.def counts no call %s" % ", ".join(missing))
        return ref

    # -- one case ------------------------------------------------------------------------

    def case(self, ref, what, value):
        """Runs one case on a fresh copy; returns its violations (texts)."""
        label = "%s %s %s" % (ref.kind, what, value)
        folder = tempfile.mkdtemp(prefix="case-", dir=os.path.join(self.work, ref.kind))
        machine = os.path.join(folder, "m")
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
            stale = [t for t in ref.targets if machine_view.file_hashes(booted).get(t) != ref.new[t]] \
                if not problem else []
            if problem or stale:
                found.append("success shown, but %s" % (problem or "not installed: " + listing(stale)))
            shutil.rmtree(booted, ignore_errors=True)
        return found

    def check_rerun(self, ref, machine, folder):
        """A second run without fault completes, and the machine is as a good update leaves it."""
        run = self.run(machine, self.answer_rerun, {}, os.path.join(folder, "rerun.log"))
        found = []
        if run.problem or run.returncode != 0 or SANITIZER.search(run.stderr):
            found.append("the second run: %s (exit %s) %s" % (run.problem, run.returncode, run.stderr.strip()[-500:]))
            return found
        found += ref.check_data(machine_view.file_hashes(machine))
        found += ref.check_registry(machine, after_update=True)
        booted = os.path.join(folder, "restarted")
        problem = self.reboot(machine, booted)
        if problem:
            return found + ["after the second run: " + problem]
        found += ref.check_files_as_good_update(booted)
        shutil.rmtree(booted, ignore_errors=True)
        return ["after the second run: " + f for f in found]


class Reference:
    """What the seeded machine holds and what a good update leaves on it."""

    def __init__(self, kind, seed):
        self.kind = kind
        self.seed = seed
        self.old = machine_view.file_hashes(seed)
        self.old_registry = machine_view.load_registry(seed)
        self.install = rel(seed, PRODUCT)
        self.system = rel(seed, ini_value(seed, "system"))
        self.temp = rel(seed, ini_value(seed, "temp"))

    def learn(self, after, booted):
        self.booted = booted
        self.new = machine_view.file_hashes(booted)
        self.new_registry = machine_view.load_registry(after)
        # Targets: what the update replaces or adds in the install and system folders.
        self.targets = sorted(
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
            now = machine_view.load_registry(machine)
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

    def check_files_as_good_update(self, machine):
        """Every file outside the temporary folder as after an update without fault; a
        shortcut, which records the time of its target, by what lnkinfo reads in it."""
        files = machine_view.file_hashes(machine)
        found = []
        for path in sorted(p for p in set(files) | set(self.new) if not under(p, self.temp)):
            if files.get(path) == self.new.get(path):
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
                    shortcut(os.path.join(machine, path)) == self.shortcut(path):
                continue
            found.append("%s differs from a good update's" % path)
        return found


def is_call(name):
    """A platform call, which a fault can fail, rather than a kill point inside one
    ("CopyFileA.piece")."""
    return "." not in name


def values(registry):
    return {(key, name) for key, (_, vals) in registry.items() for name in vals}


def value_of(registry, key, name):
    found = registry.get(key, (None, {}))[1].get(name)
    return None if found is None else found[1:]


def shortcut(path):
    """What a shortcut points at, as lnkinfo reads it."""
    result = subprocess.run(["lnkinfo", "-c", "windows-932", path], capture_output=True, text=True)
    return [line.strip() for line in result.stdout.splitlines()
            if line.strip().startswith(("Local path", "Working directory", "Command line arguments"))]


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
    args = parser.parse_args()
    if not args.vkupdate or not args.vkmachine:
        parser.error("--vkupdate and --vkmachine (or VKUPDATE and VKMACHINE) are needed")
    shm = "/dev/shm" if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK) else None
    own_work = args.work is None
    args.work = args.work or tempfile.mkdtemp(prefix="vksweep-", dir=shm)
    listed = read_cases(args.cases) if args.cases else []

    started = time.monotonic()
    sweep = Sweep(args)
    pairs = kills = violations = 0
    try:
        swept = args.machines.split(",")
        for kind in swept + sorted({k for k, _, _ in listed} - set(swept)):
            if kind not in MACHINES:
                raise SystemExit("sweep: no machine \"%s\" (known: %s)" % (kind, ", ".join(MACHINES)))
            begun = time.monotonic()
            ref = sweep.prepare(kind)
            cases = plan(ref, args, listed, kind in swept)
            n_faults = sum(1 for what, _ in cases if what == "fault")
            n_timed = sum(1 for what, _ in cases if what == "timed")
            n_kills = len(cases) - n_faults - n_timed
            print("sweep [%s]: %d calls counted; %d runs to do" % (kind, len(ref.calls), len(cases)), flush=True)
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
    finally:
        if own_work and not args.keep:
            shutil.rmtree(args.work, ignore_errors=True)
    print("sweep: %d pairs, %d kill points, %d violations, %.0f s" %
          (pairs, kills, violations, time.monotonic() - started))
    return 1 if violations else 0


if __name__ == "__main__":
    sys.exit(main())
