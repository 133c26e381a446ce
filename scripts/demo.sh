#!/usr/bin/env bash
# Builds the host vkupdate and runs it in the terminal on a demo machine with build 3.15 of the
# product installed, then says what the update changed on the machine.
#
#   bash scripts/demo.sh [--keep] [--windows xp|2000|nt4|98]
#
# The demo machine is machines/demo, made afresh each time (Windows XP unless --windows says
# otherwise); --keep runs on the one that is there, as the last run left it.
set -euo pipefail
cd "$(dirname "$0")/.."

# A wrong command line: one line saying what is wrong, exit code 2.
usage() { echo "demo: $1 (bash scripts/demo.sh --help shows the usage)" >&2; exit 2; }
keep=0
windows=xp
while [ $# -gt 0 ]; do
  case "$1" in
    --keep) keep=1 ;;
    --windows) [ $# -ge 2 ] || usage "--windows needs xp, 2000, nt4 or 98"; windows=$2; shift ;;
    --help|-h) sed -n '2,8s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) usage "unknown option $1" ;;
    *) usage "unexpected argument \"$1\"" ;;
  esac
  shift
done
case "$windows" in
  xp)   family=(--platform 2 --major 5 --minor 1) ;;
  2000) family=(--platform 2 --major 5 --minor 0 --system 'C:\WINNT\system32') ;;
  nt4)  family=(--platform 2 --major 4 --minor 0 --system 'C:\WINNT\system32') ;;
  # Windows 98 keeps the documents of its one user in C:\My Documents.
  98)   family=(--platform 1 --major 4 --minor 10 --system 'C:\WINDOWS\SYSTEM' --documents 'C:\My Documents') ;;
  *) usage "unknown Windows \"$windows\" (xp, 2000, nt4 or 98)" ;;
esac

bash scripts/setup.sh
cmake -S . -B build/host -G Ninja -DVK_TESTS=OFF >/dev/null
cmake --build build/host --target vkupdate vkmachine

machine="$PWD/machines/demo"
if [ "$keep" -eq 0 ] || [ ! -f "$machine/machine.ini" ]; then
  rm -rf "$machine"
  build/host/vkmachine create "$machine" "${family[@]}" >/dev/null
  build/host/vkmachine install-product "$machine" --version "3, 1, 5, 0" >/dev/null
  echo "demo: made machines/demo, Windows $windows with Velkor TARN 3.15 installed"
else
  echo "demo: running on machines/demo as it is"
fi

# A copy of the machine before the run, to say afterwards what changed.
before=$(mktemp -d)
trap 'rm -rf "$before"' EXIT
cp -a "$machine/." "$before/"

status=0
VKUPDATE_MACHINE="$machine" build/host/vkupdate || status=$?

echo
echo "What changed on machines/demo:"
/usr/bin/python3 tools/pylib/machine_view.py changes "$before" "$machine"
# What the summary cannot say by itself.
temp=$(/usr/bin/python3 tools/pylib/machine_view.py path "$machine" 'C:\WINDOWS\TEMP\vk038.tmp')
if [ -f "$temp" ] && ! cmp -s "$temp" "$before/${temp#"$machine"/}" 2>/dev/null; then
  echo "  vk038.tmp in the temporary folder is the new driver as the updater unpacked it from itself"
  echo "  (still compressed); it expanded it into the system folder and leaves this copy behind."
fi
echo
echo "The files and the registry are in machines/demo (drive_c/, registry.reg and the journal of"
echo "its changes, registry.journal). To restart the machine, which performs the operations pending"
echo "until the restart:"
echo "  build/host/vkmachine reboot machines/demo"
echo "To run the updater again on the same machine: bash scripts/demo.sh --keep"
exit "$status"
