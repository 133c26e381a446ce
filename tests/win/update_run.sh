#!/usr/bin/env bash
# The update run of the Windows build under Wine, driven on the Xvfb screen as a person would:
# a prefix seeded with build 3.15 of the product, Start, OK to the success message, Exit and No
# to the restart; then a second Start, Yes to the already-current question, OK, Exit, No. After
# each run the files, App Paths, the driver service key, the settings, the data folder, the
# shortcut and the operations pending until restart are checked through Wine and the prefix.
#
#   update_run.sh LOADER EXE MKPE ARTIFACTS
#
# WINEPREFIX and DISPLAY set, and one wineserver kept running for the prefix throughout
# (wineserver -p, as scripts/wine-tests.sh starts it): a new server would run wineboot, which
# performs the operations pending until restart, as a restart of Windows would.
set -uo pipefail
loader=$1 exe=$2 mkpe=$3 artifacts=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-lib.sh"
caption='^TARN アップデーター$'
failures=0
fail() { echo "update run: FAIL: $*"; failures=$((failures + 1)); }
# Ends the updater started as $1 when a step failed: the loader's process is the Windows
# program itself, so this leaves no process behind.
stop() { kill "$1" 2>/dev/null; wait "$1" 2>/dev/null; }

# --- the prefix: Windows XP, build 3.15 installed with its App Paths entry, data files, an old
# setting to be reset, and the program-menu folder of the shortcut.
"$loader" reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1
seed_product "$mkpe" || fail "seeding build 3.15"

# One driven run: Start, then the answers; $1 names it, $2 is "current" when the installation
# is already current (Yes to string 6 first).
drive_run() {
  local name=$1 mode=$2 app main box
  "$loader" "$exe" &
  app=$!
  main=$(window '^Velkor TARN' 60)
  if [ -z "$main" ]; then fail "$name: the dialog did not appear"; stop "$app"; return; fi
  sleep 0.5
  press "$main" Return
  if [ "$mode" = current ]; then
    box=$(window "$caption" 60)
    [ -n "$box" ] || { fail "$name: no already-current question"; stop "$app"; return; }
    sleep 0.3
    press "$box" y
    gone "$caption" || fail "$name: the question stayed open"
  fi
  box=$(window "$caption" 120)
  if [ -z "$box" ]; then fail "$name: no message after Start"; stop "$app"; return; fi
  sleep 0.5
  /usr/bin/import -window root "$artifacts/update-$name.png" && echo "update run: screenshot $artifacts/update-$name.png"
  press "$box" Return
  gone "$caption" || fail "$name: the message stayed open"
  # A second box right after the first is the installation's error report, not success.
  box=$(window "$caption" 2)
  if [ -n "$box" ]; then
    fail "$name: an error was reported (see update-$name.png)"
    press "$box" Return
    gone "$caption"
  fi
  box=$(leave_dialog "$main")
  if [ -z "$box" ]; then
    fail "$name: Exit did not offer the restart"
  else
    sleep 0.3
    press "$box" n
  fi
  for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$app" 2>/dev/null; then
    fail "$name: No to the restart did not end the program"
    stop "$app"
  else
    wait "$app" || fail "$name: exit code $?"
  fi
}

# What one successful run leaves in the prefix.
check() {
  local name=$1 data documents pending
  /usr/bin/python3 - "$product_dir/VKTARN.EXE" <<'EOF' || fail "$name: VKTARN.EXE is not build 3, 1, 6, 0 of 4,371,968 bytes"
import os, sys, pefile
pe = pefile.PE(sys.argv[1])
version = {k.decode(): v.decode() for info in pe.FileInfo[0] for t in getattr(info, "StringTable", [])
           for k, v in t.entries.items()}.get("FileVersion")
sys.exit(0 if version == "3, 1, 6, 0" and os.path.getsize(sys.argv[1]) == 4371968 else 1)
EOF
  [ "$(find "$product_dir" -maxdepth 1 -type f | wc -l)" -eq 34 ] ||
    fail "$name: $(find "$product_dir" -maxdepth 1 -type f | wc -l) files in the product folder, not the 34 of the release"
  ls "$product_dir" | grep -qi '^vk[0-9]*\.tmp$' && fail "$name: temporary files left in the product folder"
  local key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\VKTARN.EXE'
  [ "$(query "$key" Path)" = "$product" ] || fail "$name: App Paths Path is '$(query "$key" Path)'"
  local service='HKLM\SYSTEM\CurrentControlSet\Services\cdrvkvsd'
  [ "$(query "$service" Type)" = 0x1 ] || fail "$name: driver service Type is '$(query "$service" Type)'"
  [ -n "$(query "$service" Group)" ] || fail "$name: driver service has no Group"
  local settings='HKCU\Software\Orvane\VkTARN'
  [ "$(query "$settings" EnableEncode)" = 0x0 ] || fail "$name: EnableEncode is '$(query "$settings" EnableEncode)'"
  [ "$(query "$settings" Port)" = 0x1f90 ] || fail "$name: Port 8080 was not kept"
  [ -n "$(query "$settings" TempFolder)" ] || fail "$name: no TempFolder"
  pending=$(query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' PendingFileRenameOperations)
  grep -qi 'vk038\.tmp.*drivers\\CDRVKVSD\.SYS' <<<"$pending" ||
    fail "$name: the new driver is not pending: '$pending'"
  [ -f "$drive/windows/system32/vk038.tmp" ] || fail "$name: the new driver does not wait in the system folder"
  # The data folder in the documents folder of the prefix's user, a real folder inside the prefix.
  documents=$(query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' Personal)
  data=$(unix "$documents\\VkTARN Data")
  if [ -z "$documents" ] || [ ! -d "$data" ]; then
    fail "$name: no data folder in the documents folder '$documents'"
  elif [[ "$(realpath "$data")" != "$(realpath "$drive")"/* ]]; then
    fail "$name: the data folder lies outside the prefix, at $(realpath "$data")"
  else
    [ "$(ls "$data" | wc -l)" -eq 4 ] || fail "$name: data folder holds $(ls "$data" | tr '\n' ' ')"
  fi
  local lnk="$shortcut_dir/Velkor TARN.lnk"
  if lnkinfo "$lnk" >"$artifacts/update-$name.lnkinfo" 2>&1; then
    grep -qi 'VKTARN\.EXE' "$artifacts/update-$name.lnkinfo" || fail "$name: the shortcut does not point to VKTARN.EXE"
  else
    fail "$name: no shortcut readable by lnkinfo"
  fi
}

drive_run first old
check first
drive_run again current
check again

[ "$failures" -eq 0 ] || { echo "update run: $failures failures"; exit 1; }
echo "update run: ok"
