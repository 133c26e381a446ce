"""The state sweep: the update on machines in the states of the catalogue (states.txt), each
state made with vkmachine on an installed machine; its expected outcome and the sweep's
invariants checked."""
import concurrent.futures
import copy
import functools
import os
import shutil
import tempfile
import time

import states  # the catalogue of machine states
from machines import (DATA_FILE, MACHINES, OLD_BUILD, PRODUCT, SMALL_DATABASE_SIZE, TEMP_NAME, attributes,
                      copy_machine, ini_value, listing, load_registry, rel, under, value_of, values)
from pylib import machine_view  # the independent reader of a machine
from reference import Reference, prepare, reference_run


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

    def __init__(self, runner, catalogue):
        self.runner = runner
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
            code, output = self.runner.vkmachine(args[0], machine, *args[1:])
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
        code, output = self.runner.vkmachine("create", seed, *(MACHINES[kind] + states.expand_all(state.create, {})))
        problem = "vkmachine create: " + output.strip() if code != 0 else None
        if not problem:
            layout.places = self.places(seed, kind, layout.install)
            problem = self.apply(seed, state.before, layout.places)
        if not problem:
            code, output = self.runner.vkmachine("install-product", seed, "--version", OLD_BUILD,
                                                "--database-size", str(SMALL_DATABASE_SIZE),
                                                *states.expand_all(state.install, layout.places))
            problem = "vkmachine install-product: " + output.strip() if code != 0 else None
        if problem:
            layout.failure = "the machine could not be made: " + problem
            return layout
        layout.made = True
        layout.places = self.places(seed, kind, layout.install)
        self.runner.seal(seed)
        if key == (kind, (), (), ()):
            layout.ref = default.small  # the kind's own machine, with the same small database
            return layout
        layout.ref, failure = reference_run(self.runner, kind, seed, base, layout.install, {})
        if failure:
            layout.failure = "the update on the machine as installed, before the state's commands: " + failure
        else:
            layout.problems = compare_layout(default, layout.ref)
        return layout

    # -- one state -----------------------------------------------------------------------

    def case(self, kind, state):
        label = "%s state %s" % (kind, state.name)
        folder = tempfile.mkdtemp(prefix="state-", dir=os.path.join(self.runner.work, kind))
        found = self.check(self.layouts[state.layout(kind)], state, folder)
        if found and self.runner.args.keep:
            found.append("kept in " + folder)
        else:
            shutil.rmtree(folder, ignore_errors=True)
        return label, found

    def check(self, layout, state, folder):
        runner = self.runner
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
        answer = functools.partial(runner.answer_any, folder=layout.install)
        run = runner.run(machine, answer, {}, os.path.join(folder, "run.log"))
        found += runner.check_end(run, "state", None, None) + self.check_outcome(run, state.expect)
        if state.expect == "complete":
            found += runner.check_state(ref, machine, run, folder)
        else:
            found += changes(made, machine)
        if found:
            return found
        if state.fix:
            problem = self.apply(machine, state.fix, layout.places)
            return ["the fix: " + problem] if problem else runner.check_rerun(ref, machine, folder)
        if state.expect == "complete":
            return runner.check_rerun(ref, machine, folder)
        run = runner.run(machine, answer, {}, os.path.join(folder, "rerun.log"))
        found = runner.check_end(run, "state", None, None) + self.check_outcome(run, state.expect) + \
            changes(made, machine)
        return ["the second run: " + f for f in found]

    def check_outcome(self, run, expect):
        shown = self.runner.shown(run)
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
            bases = [os.path.join(self.runner.work, kind, "layout-%d" % n) for n, (kind, _) in enumerate(needed.values())]
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


def sweep(runner, refs, args, started):
    """Runs the states chosen by --states on the kinds of --state-machines, printing each
    violation, progress every half minute and a summary; returns the runs and the failing
    ones. `refs` receives the kinds it prepares."""
    begun = time.monotonic()
    catalogue = StateSweep(runner, states.read_catalogue(args.catalogue))
    cases = catalogue.cases(args.state_machines.split(","), args.states)
    missing = sorted({kind for kind, _ in cases} - set(refs))
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        refs.update(zip(missing, pool.map(functools.partial(prepare, runner), missing)))
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
    return len(cases), bad
