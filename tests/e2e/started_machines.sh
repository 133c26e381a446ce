#!/usr/bin/env bash
# The update on machines that have started since the product was installed, as every user's
# machine has: Windows holds the drivers it loaded. On each family the update shows string 2 and
# offers the restart, a second run before the restart changes nothing of that, and after the
# restart the machine is what the same update leaves on a machine whose drivers are not loaded.
set -u
src=$VK_SOURCE_DIR
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
outcome() { /usr/bin/python3 "$src/tools/compare/outcome.py" "$@"; }
failures=0
fail() { echo "FAIL [$family]: $*"; failures=$((failures + 1)); }
text() { /usr/bin/python3 "$src/tools/pylib/converse.py" --text "$src/resources/strings.rc" "$1"; }
done_text=$(text IDS_UPDATE_DONE)

# family | vkmachine create options
families=(
  "98|--platform 1 --major 4 --minor 10 --system C:\\WINDOWS\\SYSTEM"
  "nt4|--platform 2 --major 4 --minor 0 --system C:\\WINNT\\system32"
  "2000|--platform 2 --major 5 --minor 0 --system C:\\WINNT\\system32"
  "xp|"
)

# Makes machine $1 with its drivers $2, runs the script $3 over it, restarts it, and keeps what
# it shows and its state before and after the restart.
update() {
  local m="$work/$1"
  # shellcheck disable=SC2086
  "$VKMACHINE" create "$m" $options >/dev/null &&
    "$VKMACHINE" install-product "$m" --version "3, 1, 5, 0" --driver "$2" >/dev/null &&
    outcome capture machine "$m" "$work/$1-before.json" || return 1
  printf '%b' "$3" | VKUPDATE_MACHINE="$m" "$VKUPDATE" >"$work/$1.events" 2>"$work/$1.err" &&
    "$VKMACHINE" reboot "$m" >"$work/$1.reboot" &&
    outcome capture machine "$m" "$work/$1-restart.json" "$work/$1-before.json"
}

for row in "${families[@]}"; do
  IFS='|' read -r family options <<<"$row"
  # Start, OK; Start again before the restart, Yes to "already current", OK; Exit, No.
  update "$family-started" loaded 'start\nok\nstart\nyes\nok\nexit\nno\n' || { fail "the started machine's update"; continue; }
  update "$family-cold" unloaded 'start\nok\nexit\nno\n' || { fail "the cold machine's update"; continue; }
  events="$work/$family-started.events"
  [ "$(grep -cF "\"style\":64,\"caption\"" "$events")" -eq 2 ] && [ "$(grep -cF "$done_text" "$events")" -eq 2 ] ||
    fail "string 2 not shown by both runs: $(grep -F message "$events")"
  grep -qF '"style":68' "$events" || fail "no restart offered"
  grep -qF '"style":16' "$events" && fail "an error shown: $(grep -F '"style":16' "$events")"
  report=$(outcome compare "$family" restart /dev/null "$work/$family-cold-before.json" "$work/$family-cold-restart.json" \
    "$work/$family-started-before.json" "$work/$family-started-restart.json") ||
    fail "after the restart the started machine differs from the cold one: $report"
  echo "started_machines [$family]: done"
done

[ "$failures" -eq 0 ] || { echo "started_machines: $failures failures"; exit 1; }
echo "started_machines: ok"
