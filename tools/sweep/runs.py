"""One run of the host vkupdate on a machine, the answers of a user who wants the update, and
the checks every run of a sweep gets: how it ended, the machine it left, and a second run."""
import functools
import os
import re
import shutil
import signal
import subprocess
import threading
import time

from machines import CHILD_ENV, PRODUCT, copy_machine, folder_digest, listing
from pylib import converse  # the dialog driver
from pylib import machine_view  # the independent reader of a machine
from pylib import platform_calls  # the table of platform calls

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SANITIZER = re.compile(r"Sanitizer|runtime error:")
# Message box styles: MB_YESNO with MB_ICONQUESTION, MB_YESNO with MB_ICONINFORMATION, MB_OK
# with MB_ICONINFORMATION.
QUESTION, RESTART_QUESTION, OUTCOME = 0x24, 0x44, 0x40


class Run:
    """One run of the updater over a machine: its events, its end, what it wrote on stderr."""

    def __init__(self, events, returncode, stderr, problem):
        self.events = events
        self.returncode = returncode
        self.stderr = stderr
        self.problem = problem  # the driver's complaint: a hang, an unexpected event

    def messages(self):
        return [e for e in self.events if e.get("event") == "message"]


class Runner:
    """Runs the updater and vkmachine for a sweep, and checks what a run did."""

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
            except BaseException:
                dialog.process.kill()  # the sweep is stopping: the run ends with it
                dialog.process.wait()
                raise
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

    def shown(self, run):
        """The messages of a run by their string identifiers (a path as it is)."""
        names = {text: name for name, text in self.texts.items()}
        return [names.get(e.get("text"), e.get("text")) for e in run.messages()]

    # -- one case ------------------------------------------------------------------------

    # -- the checks of a run -------------------------------------------------------------

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


def summary(event):
    return "%s %s %s" % (event.get("event"), event.get("style", ""), event.get("text", ""))
