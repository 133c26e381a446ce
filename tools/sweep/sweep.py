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
Exits 1 when a violation was found. SIGTERM, as Ctrl-C, stops it: the runs under way end, the
others are dropped, and its work folder is removed.
"""
import argparse
import os
import shutil
import signal
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))  # tools/, which holds pylib, the modules shared with the tests
import fault_sweep  # noqa: E402
import state_sweep  # noqa: E402
from machines import MACHINES  # noqa: E402
from reference import prepare  # noqa: E402
from runs import Runner  # noqa: E402


def stop(signum, frame):
    """Ends the sweep on SIGTERM as an error would: the cases not yet begun are dropped, and
    the work folder is removed once the runs under way have ended."""
    print("sweep: stopped by signal %d" % signum, file=sys.stderr, flush=True)
    raise SystemExit(128 + signum)


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
    listed = fault_sweep.read_cases(args.cases) if args.cases else []

    started = time.monotonic()
    pairs = kills = violations = tried = 0
    refs = {}
    signal.signal(signal.SIGTERM, stop)
    own_work = args.work is None
    args.work = args.work or tempfile.mkdtemp(prefix="vksweep-%d-" % os.getpid(), dir=shm)
    try:
        # The sweep runs its own copies of the two programs, taken now: a build meanwhile (another
        # sweep's, after a change) replaces the files it was given, not these.
        for option in ("vkupdate", "vkmachine"):
            program = os.path.join(args.work, "programs", os.path.basename(getattr(args, option)))
            os.makedirs(os.path.dirname(program), exist_ok=True)
            shutil.copy2(getattr(args, option), program)
            setattr(args, option, program)
        runner = Runner(args)
        swept = args.machines.split(",")
        for kind in swept + sorted({k for k, _, _ in listed} - set(swept)) + args.state_machines.split(","):
            if kind not in MACHINES:
                raise SystemExit("sweep: no machine \"%s\" (known: %s)" % (kind, ", ".join(MACHINES)))
        for kind in swept + sorted({k for k, _, _ in listed} - set(swept)):
            ref = refs[kind] = prepare(runner, kind)
            cases = fault_sweep.plan(ref, args, listed, kind in swept)
            if not cases:
                continue  # prepared for the state sweep alone
            n_pairs, n_kills, bad = fault_sweep.sweep(runner, ref, cases, args.jobs, started)
            pairs, kills, violations = pairs + n_pairs, kills + n_kills, violations + bad
        if args.states != "none":
            tried, bad = state_sweep.sweep(runner, refs, args, started)
            violations += bad
        changed = runner.changed_seeds()
        for text in changed:
            print("VIOLATION: " + text, flush=True)
        if not changed:
            print("sweep: %d seeds unchanged after their runs" % len(runner.seals), flush=True)
        violations += len(changed)
    finally:
        if own_work and not args.keep:
            shutil.rmtree(args.work, ignore_errors=True)
    print("sweep: %d pairs, %d kill points, %d states, %d violations, %.0f s" %
          (pairs, kills, tried, violations, time.monotonic() - started))
    return 1 if violations else 0


if __name__ == "__main__":
    sys.exit(main())
