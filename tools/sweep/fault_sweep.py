"""The fault and kill sweep of one machine kind: a run for each (call, occurrence) failing with
its natural error and for each kill point, each on a fresh copy of its seed."""
import argparse
import concurrent.futures
import os
import shutil
import tempfile
import time
import zlib

from machines import DATABASE_SIZE, SMALL_DATABASE_SIZE, copy_machine
from reference import is_call


def case(runner, ref, what, value):
    """Runs one case on a fresh copy of its seed; returns its violations (texts)."""
    label = "%s %s %s" % (ref.kind, what, value)
    ref, value = seed_of(ref, what, value)
    folder = tempfile.mkdtemp(prefix="case-", dir=os.path.join(runner.work, ref.kind))
    machine = os.path.join(folder, "m")
    if runner.args.run_on_seed:
        machine = ref.seed  # the seed check's own check: this must fail the sweep
    else:
        copy_machine(ref.seed, machine)
    calls = os.path.join(folder, "calls")
    if what == "fault":
        name, occurrence = value.rsplit(":", 1)
        env = {"VKUPDATE_FAULTS": "%s:%s:%d" % (name, occurrence, runner.errors[name])}
    elif what == "kill":
        env = {"VKUPDATE_KILL_AT": str(value), "VKUPDATE_CALLS": calls}
    else:
        env = {}
    found = []
    run = runner.run(machine, runner.answer_any, env, os.path.join(folder, "run.log"),
                     kill_after=value if what == "timed" else None)
    found += runner.check_end(run, what, value, calls)
    found += runner.check_state(ref, machine, run, folder)
    if not found:
        found += runner.check_rerun(ref, machine, folder)
    if found and runner.args.keep:
        found.append("kept in " + folder)
    else:
        shutil.rmtree(folder, ignore_errors=True)
    return label, found


def seed_of(ref, what, value):
    """The Reference a case runs on and its value there: a kill point inside the copy of the
    large database, and a kill at a moment, on the large seed; every other case on the small
    one, a kill point after the copy numbered as the small seed's run counts it."""
    if what == "timed" or (what == "kill" and value in ref.copy_points):
        return ref, value
    if what == "kill" and value >= ref.copy_points.stop:
        return ref.small, value - ref.extra_points
    return ref.small, value


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


def sweep(runner, ref, cases, jobs, started):
    """Runs the cases of one machine kind, printing each violation, progress every half minute
    and a summary; returns the pairs, the kill points (timed kills among them) and the failing
    cases."""
    kind = ref.kind
    n_faults = sum(1 for what, _ in cases if what == "fault")
    n_timed = sum(1 for what, _ in cases if what == "timed")
    n_kills = len(cases) - n_faults - n_timed
    begun = time.monotonic()
    print("sweep [%s]: %d calls counted; %d runs to do" % (kind, len(ref.calls), len(cases)), flush=True)
    inside = [value for what, value in cases if what == "kill" and value in ref.copy_points]
    if n_kills:
        print("sweep [%s]: kill points %d-%d lie inside the copy of the %d MiB database; %d of them are "
              "tried on a seed holding it, every other run on a seed with a %d KiB one" %
              (kind, ref.copy_points[0], ref.copy_points[-1], DATABASE_SIZE >> 20, len(inside),
               SMALL_DATABASE_SIZE >> 10), flush=True)
    bad = done = faults_done = 0
    shown = time.monotonic()
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        for (what, _), (label, found) in zip(cases, pool.map(lambda c: case(runner, ref, *c), cases)):
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
    return n_faults, n_kills + n_timed, bad
