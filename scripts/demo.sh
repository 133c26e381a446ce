#!/usr/bin/env bash
# Builds the host vkupdate and runs it on a demo machine (machines/demo, made on first use).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build/host -G Ninja -DVK_TESTS=OFF >/dev/null
cmake --build build/host --target vkupdate vkmachine

machine="$PWD/machines/demo"
if [ ! -f "$machine/machine.ini" ]; then
  build/host/vkmachine create "$machine"
fi
export VKUPDATE_MACHINE="$machine"
exec build/host/vkupdate
