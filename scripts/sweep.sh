#!/usr/bin/env bash
# The whole fault sweep and a kill sweep of the host vkupdate on a Windows XP and a Windows 98
# machine: every (call, occurrence) of an update failing in turn, and the updater killed at
# KILLS points spread over the run (200 unless set); then the state sweep: the update on every
# machine state of tools/sweep/states.txt. --states-only runs the state sweep alone, --no-states
# the fault and kill sweeps alone. Built without sanitizers for speed unless --sanitized is
# given. Prints the pairs tried, every violation, and the time taken.
#   bash scripts/sweep.sh [--sanitized] [--states-only | --no-states] [sweep.py options, such as --keep]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null
build=build/host-release
options=(-DCMAKE_BUILD_TYPE=Release -DVK_TESTS=OFF)
which=(--faults all --kills "${KILLS:-200}" --states all)
while [ $# -gt 0 ]; do
  case "$1" in
    --sanitized) build=build/host-san; options=(-DVK_SANITIZE=ON) ;;
    --states-only) which=(--faults none --kills 0 --states all) ;;
    --no-states) which=(--faults all --kills "${KILLS:-200}" --states none) ;;
    *) break ;;
  esac
  shift
done
cmake -S . -B "$build" -G Ninja "${options[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target vkupdate vkmachine
exec /usr/bin/python3 tools/sweep/sweep.py --vkupdate "$build/vkupdate" --vkmachine "$build/vkmachine" \
  --machines xp,98 "${which[@]}" --jobs "$(nproc)" "$@"
