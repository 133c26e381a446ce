#!/usr/bin/env bash
# The sweep's check of its seeds: a run that writes into its seed instead of a copy (made so by
# --run-on-seed) must fail the sweep, naming the seed; the same run on a copy passes.
set -u
sweep() {
  /usr/bin/python3 "$VK_SOURCE_DIR/tools/sweep/sweep.py" --vkupdate "$VKUPDATE" --vkmachine "$VKMACHINE" \
    --machines xp --faults none --kills 1 --jobs 1 "$@"
}
out=$(sweep 2>&1)
status=$?
if [ $status -ne 0 ] || ! grep -q "seeds unchanged after their runs" <<<"$out"; then
  echo "a sweep on copies failed (exit $status):"; echo "$out"; exit 1
fi
out=$(sweep --run-on-seed 2>&1)
status=$?
if [ $status -ne 1 ] || ! grep -q "^VIOLATION: the seed xp/small/seed changed during the sweep: " <<<"$out"; then
  echo "a run written into its seed went unseen (exit $status):"; echo "$out"; exit 1
fi
echo "sweep seed check: ok"
