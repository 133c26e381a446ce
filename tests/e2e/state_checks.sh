#!/usr/bin/env bash
# The state sweep's own checks: on the states of state_checks.txt, each expecting what the update
# does not do, it must report a violation; on the one expecting what it does, none.
set -u
out=$(/usr/bin/python3 "$VK_SOURCE_DIR/tools/sweep/sweep.py" --vkupdate "$VKUPDATE" --vkmachine "$VKMACHINE" \
  --machines xp --faults none --kills 0 --states all --state-machines xp --jobs 2 \
  --catalogue "$VK_SOURCE_DIR/tests/e2e/state_checks.txt" 2>&1)
status=0
for name in $(grep -o '^wrong-[a-z-]*' "$VK_SOURCE_DIR/tests/e2e/state_checks.txt"); do
  if ! grep -q "VIOLATION \[xp state $name\]" <<<"$out"; then
    echo "state_checks: no violation reported for $name"
    status=1
  fi
done
if grep "VIOLATION \[xp state right\]" <<<"$out" || ! grep -q "^sweep \[states\]" <<<"$out"; then
  status=1
fi
[ $status = 0 ] || printf '%s\n' "$out"
exit $status
