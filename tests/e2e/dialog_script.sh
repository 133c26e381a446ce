#!/usr/bin/env bash
# The host vkupdate, scripted over a machine made with vkmachine: the dialog opens with its
# title and ends on exit (or at the end of input), and a missing machine is a clear error.
set -u
fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$VKMACHINE" create "$work/m" >/dev/null || fail "vkmachine create"
export VKUPDATE_MACHINE="$work/m"
expected='{"event":"dialog","title":"Velkor TARN アップデーター Ver 3.16"}
{"event":"end"}'

out=$(echo exit | "$VKUPDATE"); status=$?
[ "$status" -eq 0 ] || fail "exit code $status"
[ "$out" = "$expected" ] || fail "exit script printed: $out"

out=$("$VKUPDATE" </dev/null); status=$?
[ "$status" -eq 0 ] && [ "$out" = "$expected" ] || fail "end of input: $status $out"

# An unknown line is reported and skipped; the dialog waits for a real command.
out=$(printf 'hello\nexit\n' | "$VKUPDATE" 2>"$work/err"); status=$?
[ "$status" -eq 0 ] && [ "$out" = "$expected" ] || fail "unknown line: $status $out"
grep -q 'hello' "$work/err" || fail "unknown line not reported"

# Esc while the Exit button is disabled (its enabling after the run failed) is refused with a
# beep, as Windows' dialog manager does; the dialog then ends only once the input has ended.
out=$(printf 'start\n\nok\nexit\n' | VKUPDATE_FAULTS=EnableWindow:4:5 "$VKUPDATE" | grep -v progress)
beeps=$(printf '%s\n' "$out" | grep -c '^{"event":"beep"}$')
[ "$beeps" -eq 4 ] && [ "$(printf '%s\n' "$out" | tail -n 1)" = '{"event":"end"}' ] ||
  fail "disabled Exit: $out"

# No machine: a clear error that says how to make one, and nothing else.
out=$(env -u VKUPDATE_MACHINE "$VKUPDATE" </dev/null 2>"$work/err"); status=$?
[ "$status" -ne 0 ] && [ -z "$out" ] || fail "without a machine: $status $out"
grep -q 'vkmachine create' "$work/err" || fail "error does not say how to make a machine"
out=$(VKUPDATE_MACHINE="$work/none" "$VKUPDATE" </dev/null 2>"$work/err"); status=$?
[ "$status" -ne 0 ] && grep -q 'vkmachine create' "$work/err" || fail "missing machine folder"

echo "dialog_script: ok"
