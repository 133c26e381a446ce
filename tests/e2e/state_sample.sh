#!/usr/bin/env bash
# The update on a sample of the machine states of tools/sweep/states.txt (the states marked
# "sample", each on its machine), with the sweep's invariants; scripts/sweep.sh runs them all.
set -u
exec /usr/bin/python3 "$VK_SOURCE_DIR/tools/sweep/sweep.py" --vkupdate "$VKUPDATE" --vkmachine "$VKMACHINE" \
  --machines xp --faults none --kills 0 --states sample --jobs 2
