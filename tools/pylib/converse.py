#!/usr/bin/python3
"""Holds one conversation with the scripted host vkupdate: reads steps from standard input and
checks every event the dialog writes against them, in order.

  converse.py VKUPDATE STRINGS_RC < steps
  converse.py --text STRINGS_RC ID     prints string ID as the dialog's events write it

Steps, one a line:
  > LINE                    send LINE (a decision: start, exit, yes, no, ok, a path, or nothing)
  < dialog | picker | restart | end
  < message STYLE ID        a message box of that style whose text is string ID of STRINGS_RC
                            (its identifier, such as IDS_UPDATE_DONE) under the caption string
  < message STYLE path P    ... whose text is a path starting with P; printed as "path: TEXT"
  < progress N              N moves of the bar in a row, rising, the first to the position of
                            one file in 34 (2); when N is 34 the last at 100
  ! COMMAND                 run COMMAND with bash between two decisions (the machine may change)
  # ...                     a comment

Exits 0 when every event came as expected and the program ended with 0; otherwise says what
differed and exits 1.
"""
import json
import queue
import re
import subprocess
import sys
import threading


def string_table(path):
    """Identifier -> text as JSON writes it, read from the resource script."""
    texts = {}
    for line in open(path, encoding="utf-8"):
        m = re.match(r'\s*(IDS_\w+)\s+"(.*)"\s*$', line)
        if m:
            texts[m.group(1)] = json.loads('"%s"' % m.group(2))
    return texts


class Dialog:
    """The program running with its events read as they come; `env` and `stderr` go to Popen,
    `timeout` bounds the wait for each event."""

    def __init__(self, program, env=None, stderr=None, timeout=60):
        self.process = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=stderr, env=env, encoding="utf-8")
        self.timeout = timeout
        self.events = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.events.put(line.rstrip("\n"))
        self.events.put(None)

    def next(self):
        try:
            line = self.events.get(timeout=self.timeout)
        except queue.Empty:
            raise Mismatch("no event within %d s" % self.timeout)
        if line is None:
            raise Mismatch("the program ended (exit code %s)" % self.process.wait())
        try:
            return json.loads(line)
        except ValueError:
            raise Mismatch("not a JSON event: %r" % line)

    def send(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()


class Mismatch(Exception):
    pass


def expect(dialog, words, texts, pending):
    """Checks the next event(s) against one '<' step. `pending` holds an event read ahead."""
    event = pending.pop() if pending else dialog.next()
    kind = words[0]
    if kind != event.get("event"):
        raise Mismatch("expected %s, got %s" % (" ".join(words), json.dumps(event, ensure_ascii=False)))
    if kind == "message":
        if event.get("caption") != texts["IDS_CAPTION"]:
            raise Mismatch("caption %r" % event.get("caption"))
        if event.get("style") != int(words[1]):
            raise Mismatch("style %s, expected %s: %s" % (event.get("style"), words[1], event.get("text")))
        text = event.get("text", "")
        if words[2] == "path":
            prefix = " ".join(words[3:])
            if not text.startswith(prefix) or "\n" in text:
                raise Mismatch("expected a path under %s, got %r" % (prefix, text))
            print("path: %s" % text)
        elif text != texts[words[2]]:
            raise Mismatch("expected %s, got %r" % (words[2], text))
    elif kind == "progress":
        count, positions = int(words[1]), [event["pos"]]
        while len(positions) < count:
            event = dialog.next()
            if event.get("event") != "progress":
                raise Mismatch("after %d moves of the bar: %s" % (len(positions), json.dumps(event, ensure_ascii=False)))
            positions.append(event["pos"])
        if positions[0] != 100 // 34 or any(b <= a for a, b in zip(positions, positions[1:])):
            raise Mismatch("the bar moved %s" % positions)
        if count == 34 and positions[-1] != 100:
            raise Mismatch("the bar ended at %d" % positions[-1])
        # The run of moves ends here: the next event must be something else.
        following = dialog.next()
        if following.get("event") == "progress":
            raise Mismatch("more than %d moves of the bar" % count)
        pending.append(following)


def main(program, rc):
    texts = string_table(rc)
    dialog = Dialog(program)
    pending = []
    step = ""
    try:
        for step in sys.stdin:
            step = step.rstrip("\n")
            if step.startswith("> ") or step == ">":
                dialog.send(step[2:])
            elif step.startswith("< "):
                expect(dialog, step[2:].split(), texts, pending)
            elif step.startswith("! "):
                subprocess.run(["bash", "-c", step[2:]], check=True)
            elif step.strip() and not step.startswith("#"):
                raise Mismatch("unknown step")
        if pending:
            raise Mismatch("unexpected event %s" % json.dumps(pending[0], ensure_ascii=False))
        dialog.process.stdin.close()
        rest = dialog.events.get(timeout=60)
        if rest is not None:
            raise Mismatch("unexpected event %s" % rest)
        status = dialog.process.wait(timeout=60)
        if status != 0:
            raise Mismatch("exit code %d" % status)
    except (Mismatch, subprocess.CalledProcessError) as e:
        print("converse: at step %r: %s" % (step, e))
        dialog.process.kill()
        return 1
    return 0


if __name__ == "__main__":
    if sys.argv[1] == "--text":
        print(string_table(sys.argv[2])[sys.argv[3]])
        sys.exit(0)
    sys.exit(main(sys.argv[1], sys.argv[2]))
