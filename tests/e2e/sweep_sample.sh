#!/usr/bin/env bash
# A bounded fault and kill sweep of the host vkupdate (the whole sweep is scripts/sweep.sh):
# on Windows XP every counted platform call failing once and 20 kill points spread over the
# update, and on each machine the cases listed in sweep_regressions.txt.
set -u
exec /usr/bin/python3 "$VK_SOURCE_DIR/tools/sweep/sweep.py" --vkupdate "$VKUPDATE" --vkmachine "$VKMACHINE" \
  --machines xp --faults sample --kills 20 --cases "$VK_SOURCE_DIR/tests/e2e/sweep_regressions.txt" --jobs 2
