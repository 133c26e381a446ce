#!/usr/bin/env bash
# The sweep's seeds. Which seed a kill runs on: the kill points inside the copy of the large
# database on the seed holding it, the others on the small one, numbered as its run counts
# them; a small database that changes other calls is refused. And the check of the seeds: a
# run that writes into its seed instead of a copy (made so by --run-on-seed) fails the sweep,
# naming the seed, where the same run on a copy passes.
set -u
/usr/bin/python3 - "$VK_SOURCE_DIR/tools" <<'PY' || exit 1
import os
import sys
sys.dont_write_bytecode = True
sys.path[:0] = [sys.argv[1], os.path.join(sys.argv[1], "sweep")]
from fault_sweep import seed_of
from machines import PIECE as P
from reference import database_copy

head = [("CreateFileA", "1"), ("CopyFileA", "1")]
tail = [("MoveFileA", "1"), ("CopyFileA", "2")]
large = head + [(P, str(n)) for n in range(1, 6)] + tail + [(P, "6")]
small = head + [(P, "1"), (P, "2")] + tail + [(P, "3")]
failures = []
# (large run, small run, kill points inside the copy or None for a refusal, pieces more)
for number, (a, b, inside, extra) in enumerate([
        (large, small, range(3, 8), 3),
        (large, small[:-1] + [(P, "4")], None, 0),                      # a later piece numbered wrong
        (large, small[:5] + [("DeleteFileA", "1")] + small[6:], None, 0),  # another call after the copy
        (large, large, None, 0),                                         # no piece fewer
        (head + [("ReadFile", "1")] * 4 + tail, head + tail, None, 0)]):  # what is more is no piece
    try:
        got = database_copy(a, b)
    except SystemExit:
        got = None
    if got != (None if inside is None else (inside, extra)):
        failures.append("table row %d: %s" % (number, got))

ref = type("Ref", (), {})()
ref.small, ref.copy_points, ref.extra_points = "small", range(3, 8), 3
# (case, value) -> (which seed, value there)
for case, want in [(("kill", 2), ("small", 2)), (("kill", 3), ("large", 3)), (("kill", 7), ("large", 7)),
                   (("kill", 8), ("small", 5)), (("fault", "CopyFileA:1"), ("small", "CopyFileA:1")),
                   (("timed", 0.5), ("large", 0.5))]:
    seed, value = seed_of(ref, *case)
    got = ("small" if seed == "small" else "large", value)
    if got != want:
        failures.append("%s %s ran as %s, expected %s" % (case + (got, want)))
for text in failures:
    print("FAIL: " + text)
sys.exit(1 if failures else 0)
PY
sweep() {
  /usr/bin/python3 "$VK_SOURCE_DIR/tools/sweep/sweep.py" --vkupdate "$VKUPDATE" --vkmachine "$VKMACHINE" \
    --machines xp --faults none --kills 1 --jobs 1 "$@"
}
out=$(sweep 2>&1)
status=$?
if [ $status -ne 0 ] || ! grep -q "seeds unchanged after their runs" <<<"$out"; then
  echo "FAIL: a sweep on copies failed (exit $status):"; echo "$out"; exit 1
fi
out=$(sweep --run-on-seed 2>&1)
status=$?
if [ $status -ne 1 ] || ! grep -q "^VIOLATION: the seed xp/small/seed changed during the sweep: " <<<"$out"; then
  echo "FAIL: a run written into its seed went unseen (exit $status):"; echo "$out"; exit 1
fi
echo "sweep seeds: ok"
