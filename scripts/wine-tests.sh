#!/usr/bin/env bash
# Runs the Windows build under Wine in throwaway prefixes inside the build folder: the platform
# contract and logic tests against the real Win32 calls in one, and in another the dialog on an
# Xvfb screen (found by its title, a screenshot kept in build/artifacts, ended with Esc) and a
# whole update driven on that screen (tests/win/update_run.sh); then the update on every
# Windows family, compared with the emulated machine's (scripts/wine-families.sh). Every
# process it starts is ended before it returns.
#
# The product is the 32-bit build. Where this kernel cannot start 32-bit programs, the same
# sources are built for 64-bit Windows and run under wine64 instead (scripts/wine-lib.sh); the
# script says which one ran.
set -uo pipefail
cd "$(dirname "$0")/.."

root=$PWD
. scripts/wine-lib.sh
choose_wine_arch
if [ "$arch" = win64 ]; then
  echo "wine: this kernel cannot run 32-bit programs; testing the 64-bit build of the same sources"
  configure_win64 >/dev/null || exit 1
  cmake --build "$build" -j "$(nproc)" || exit 1
fi
wine_environment
artifacts="$root/build/artifacts"
mkdir -p "$artifacts" "$root/build/wine"

xvfb_pid=""
cleanup() {
  end_prefix
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1
}
trap cleanup EXIT

# The screen first, so that every program of the tests' Wine sessions, the desktop process
# included, starts on it.
exec 3>"$root/build/wine/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 50); do [ -s "$root/build/wine/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$root/build/wine/display")"

# One prefix made for this run, never used itself: each group of tests gets a copy (2 s, where
# wineboot takes 11-20 s), so that no state from an earlier run or another group can pass or
# fail a test.
template="$root/build/wine/template-$arch"
rm -rf "$template"
export WINEPREFIX="$template"
make_prefix

passed=0
failed=0

echo "-- the product executable"
if /usr/bin/python3 tests/win/check_exe.py build/win32/vkupdate.exe build/win32/vkupdate.res; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi

# Runs one GoogleTest program under Wine and adds its counts; a program that does not report
# PASSED (a crash, a missing DLL) counts as a failure, never as nothing run.
run_gtest() {
  local name=$1 exe=$2 log="$root/build/wine/$1.log" count
  echo "-- $name ($arch)"
  "$loader" "$exe" >"$log.raw" 2>&1
  tr -d '\r' <"$log.raw" | tee "$log"
  if grep -q '\[  PASSED  \]' "$log" && ! grep -q '\[  FAILED  \]' "$log"; then
    count=$(grep -E '\[  PASSED  \] [0-9]+ test' "$log" | sed -E 's/.*\] ([0-9]+) test.*/\1/')
    passed=$((passed + count))
  else
    # Each failed test is named twice (when it fails and in the summary): count names once.
    count=$(grep -E '^\[  FAILED  \] [A-Za-z]' "$log" | sed -E 's/ \(.*//' | sort -u | wc -l)
    failed=$((failed + (count > 0 ? count : 1)))
  fi
}
if use_prefix contract; then
  run_gtest contract "$build/tests/contract_tests.exe"
  run_gtest logic "$build/tests/logic_tests.exe"
  # What the tests make in the user's documents folder they remove again: run on a machine of
  # one's own, they would otherwise leave it in that user's documents.
  left=$(find "$WINEPREFIX"/drive_c/users/*/Documents -mindepth 1 -maxdepth 1 -printf '%f\n' 2>/dev/null)
  if [ -z "$left" ]; then
    passed=$((passed + 1))
  else
    echo "wine: the tests left in the documents folder: $(tr '\n' ' ' <<<"$left")"
    failed=$((failed + 1))
  fi
else
  failed=$((failed + 1))
fi

# The dialog and the update run on a prefix of their own: nothing the tests above leave in the
# registry or the profile can stand in for what the update run must write.
echo "-- dialog on screen ($arch)"
if ! use_prefix screen; then
  echo "wine: $passed passed, $((failed + 2)) failed"
  exit 1
fi
dialog_ok=1
"$loader" "$build/vkupdate.exe" &
app_pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Velkor TARN' 2>/dev/null | head -n 1)
if [ -z "$window" ]; then
  echo "dialog: no window titled 'Velkor TARN ...' appeared"
  dialog_ok=0
else
  title=$(xdotool getwindowname "$window")
  echo "dialog: window $window \"$title\""
  sleep 1
  /usr/bin/import -window root "$artifacts/dialog-$arch.png" && echo "dialog: screenshot $artifacts/dialog-$arch.png"
  # Focus set directly (no window manager runs) and Esc typed as the keyboard would. Not `key
  # --window`: xdotool then types the press through the server while the dialog has the focus
  # and, the dialog gone by then, sends the release only to the window, so the server holds
  # Esc down and repeats it into the next window that opens.
  xdotool windowfocus --sync "$window" >/dev/null 2>&1
  xdotool key --clearmodifiers Escape
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$app_pid" 2>/dev/null; then
    echo "dialog: Esc did not end the program"
    dialog_ok=0
    kill "$app_pid" 2>/dev/null
  else
    wait "$app_pid"; status=$?
    echo "dialog: ended with exit code $status"
    [ "$status" -eq 0 ] || dialog_ok=0
  fi
fi
if [ "$dialog_ok" -eq 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

# The whole update on the same screen and prefix, over an old build seeded with the host's PE
# writer.
echo "-- update run on screen ($arch)"
mkpe=build/host-san/mkpe
if [ ! -x "$mkpe" ]; then
  mkpe=build/host/mkpe
  { cmake -S . -B build/host -G Ninja -DVK_TESTS=OFF && cmake --build build/host --target mkpe; } >/dev/null
fi
if bash tests/win/update_run.sh "$loader" "$build/vkupdate.exe" "$mkpe" "$artifacts"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi

# Libraries planted beside the updater under the name of each library it imports or loads.
echo "-- planted libraries ($arch)"
if use_prefix planted &&
   bash tests/win/planted_libraries.sh "$loader" "$build/vkupdate.exe" "$build/tests/planted_library.dll" "$mkpe" "$artifacts"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi

# The update on every Windows family, each compared whole with the emulated machine's.
source scripts/wine-families.sh
run_families

echo "wine: $passed passed, $failed failed, in $SECONDS s"
[ "$failed" -eq 0 ]
