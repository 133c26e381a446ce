#!/usr/bin/env bash
# The update on drives with little free space: for each free space an update either completes
# or is refused before its first write, naming a folder on the full drive, with the machine
# left as it was; never does it stop halfway. The free space is narrowed down to one cluster:
# the least that completes is one cluster above the most that is refused, so that the check
# refuses exactly what cannot complete.
set -u
src=$VK_SOURCE_DIR
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL [$case]: $*"; }
text() { /usr/bin/python3 "$src/tools/pylib/converse.py" --text "$src/resources/strings.rc" "$1"; }
done_text=$(text IDS_UPDATE_DONE)
cluster=4096

# case | vkmachine create options | install folder | the drive that is short | its folder the refusal names
cases=(
  "xp||C:\\Program Files\\Orvane\\Velkor TARN|C:|C:\\"
  "98|--platform 1 --major 4 --minor 10 --system C:\\WINDOWS\\SYSTEM|C:\\Program Files\\Orvane\\Velkor TARN|C:|C:\\"
  "nt4|--platform 2 --major 4 --minor 0 --system C:\\WINNT\\system32|C:\\Program Files\\Orvane\\Velkor TARN|C:|C:\\"
  "xp-install-on-d||D:\\Apps\\Velkor TARN|D:|D:\\Apps\\Velkor TARN"
)

# The bytes of every file of machine $1 but its settings, sorted by name.
digest() { (cd "$1" && find . -type f ! -name machine.ini ! -name '*.lock' -print0 | sort -z | xargs -0 md5sum); }

# Runs the update on a copy of the case's seed with $1 bytes free on the short drive. Prints
# "completed", "refused" (before any change, naming a folder of the drive) or what went wrong.
probe() {
  local m="$work/$case/run"
  rm -rf "$m" && cp -a "$work/$case/seed" "$m" && "$VKMACHINE" free-space "$m" "$drive" "$1" >/dev/null || { echo "no machine"; return; }
  digest "$m" >"$m.before"
  printf 'start\nok\nok\nexit\nno\n' | VKUPDATE_MACHINE="$m" "$VKUPDATE" >"$m.events" 2>"$m.err"
  if grep -qF "$done_text" "$m.events"; then echo completed; return; fi
  local first
  first=$(grep -F '"style":16' "$m.events" | head -1 | sed 's/.*"text":"//; s/"}$//; s/\\\\/\\/g')
  digest "$m" >"$m.after"
  if ! cmp -s "$m.before" "$m.after"; then echo "stopped halfway after \"$first\""; return; fi
  case "$first" in
    "$expect"*) echo refused ;;
    *) echo "refused naming \"$first\"" ;;
  esac
}

# Narrows down the free space of one case; prints a FAIL line for each fault.
narrow() {
  mkdir -p "$work/$case"
  # shellcheck disable=SC2086
  "$VKMACHINE" create "$work/$case/seed" $options >/dev/null &&
    "$VKMACHINE" install-product "$work/$case/seed" --version "3, 1, 5, 0" --folder "$folder" \
      --database-size 1048576 >/dev/null || { fail "no seed machine"; return; }
  local low=0 high=$((16 << 20)) middle result
  [ "$(probe $low)" = refused ] || { fail "no room at all: $(probe $low)"; return; }
  [ "$(probe $high)" = completed ] || { fail "16 MB free: $(probe $high)"; return; }
  while [ $((high - low)) -gt $cluster ]; do
    middle=$(((low + high) / 2 / cluster * cluster))
    result=$(probe "$middle")
    case "$result" in
      completed) high=$middle ;;
      refused) low=$middle ;;
      *) fail "$middle bytes free: $result"; return ;;
    esac
  done
  echo "free_space [$case]: refused with $low bytes free, completes with $high"
}

# The cases two at a time.
for row in "${cases[@]}"; do
  IFS='|' read -r case options folder drive expect <<<"$row"
  narrow >"$work/$case.out" 2>&1 &
  [ "$(jobs -r | wc -l)" -ge 2 ] && wait -n
done
wait
cat "$work"/*.out
failures=$(cat "$work"/*.out | grep -c '^FAIL')
[ "$failures" -eq 0 ] || { echo "free_space: $failures failures"; exit 1; }
echo "free_space: ok"
