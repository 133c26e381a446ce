#!/usr/bin/env bash
# The host vkupdate on a terminal, as a person drives it with the keys the demo names: Enter
# starts the update, Enter confirms the outcome, Esc offers the restart and Enter there says
# Yes (the first button, as in a Windows message box); the dialog then stays open, says so and
# how to leave, and C, then N to the question again, leaves it.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$VKMACHINE" create "$work/m" >/dev/null || { echo "FAIL: vkmachine create"; exit 1; }
"$VKMACHINE" install-product "$work/m" --version "3, 1, 5, 0" >/dev/null || { echo "FAIL: install-product"; exit 1; }

VKUPDATE_MACHINE="$work/m" /usr/bin/python3 - "$VKUPDATE" <<'EOF'
import os, pty, select, subprocess, sys, time

main, side = pty.openpty()
program = subprocess.Popen([sys.argv[1]], stdin=side, stdout=side, stderr=side, close_fds=True)
os.close(side)
seen = b""


def expect(text, what):
    """Reads the terminal until `text` (UTF-8) appears after what was read so far."""
    global seen
    want = text.encode()
    deadline = time.monotonic() + 120  # a bound on a hang, not a measure
    while want not in seen:
        ready, _, _ = select.select([main], [], [], max(0.0, deadline - time.monotonic()))
        chunk = os.read(main, 65536) if ready else b""
        if not chunk:
            program.kill()
            sys.exit("FAIL: %s: no \"%s\" on the terminal; its end:\n%s" %
                     (what, text, seen[-1500:].decode("utf-8", "replace")))
        seen += chunk
    seen = seen[seen.index(want) + len(want):]


def press(keys):
    os.write(main, keys.encode())
    time.sleep(0.2)  # an Esc must arrive alone, not as the start of a cursor key


expect("S/Enter: ", "the dialog")
press("\r")
expect("[Enter] OK", "the outcome after Enter")
press("\r")
expect("S/Enter: ", "the dialog after OK")
press("\x1b")
expect("[Y/Enter]", "the restart question after Esc")
press("\r")
expect("Nothing restarts here: C/Esc, then N, leaves", "the key help after Yes to the restart")
press("c")
expect("[Y/Enter]", "the restart question again")
press("n")
status = program.wait(timeout=60)
if status != 0:
    sys.exit("FAIL: exit code %d" % status)
EOF
status=$?
[ "$status" -eq 0 ] || exit 1
# Yes asked Windows to restart: nothing was done yet, the driver waits for the restart.
"$VKMACHINE" reboot "$work/m" | grep -q 'CDRVKVSD.SYS' || { echo "FAIL: no driver pending for the restart"; exit 1; }
echo "terminal_keys: ok"
