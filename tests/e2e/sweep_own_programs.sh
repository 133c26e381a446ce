#!/usr/bin/env bash
# A sweep runs its own copies of vkupdate and vkmachine, taken when it starts: a build that
# replaces the programs meanwhile (another sweep's, after a change) does not disturb it.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$VKUPDATE" "$work/vkupdate" && cp "$VKMACHINE" "$work/vkmachine" || exit 1
/usr/bin/python3 "$VK_SOURCE_DIR/tools/sweep/sweep.py" --vkupdate "$work/vkupdate" --vkmachine "$work/vkmachine" \
  --machines xp --faults none --kills 2 --jobs 2 --work "$work/sweep" >"$work/out" 2>&1 &
pid=$!
# Once it has begun (its first machine's folder made), the programs it was given are replaced,
# as a build replaces them, by ones that fail.
for _ in $(seq 1 600); do
  [ -d "$work/sweep/xp" ] && break
  sleep 0.1
done
for program in vkupdate vkmachine; do
  printf '#!/bin/sh\nexit 3\n' >"$work/$program.new"
  chmod +x "$work/$program.new"
  mv "$work/$program.new" "$work/$program"
done
wait $pid
status=$?
if [ $status -ne 0 ] || ! grep -q "^sweep: 0 pairs, 2 kill points, 0 states, 0 violations" "$work/out"; then
  echo "FAIL: the sweep was disturbed by the programs replaced under it (exit $status):"
  cat "$work/out"
  exit 1
fi
echo "sweep own programs: ok"
