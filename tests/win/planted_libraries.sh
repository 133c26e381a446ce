#!/usr/bin/env bash
# Libraries planted beside vkupdate.exe: a copy of the updater in a download folder of the
# prefix, with a library beside it under the name of every library the updater imports or loads
# (tests/win/planted_library.cpp, which marks its own loading). A whole update then runs on the
# screen (Start, OK, Exit, No to the restart): it must complete, no planted library may have
# been loaded (no mark, and no native load from the download folder in Wine's load log), and
# the libraries the updater loads itself must come from the system folder.
#
# Wine is made to look in the program's folder first (native before builtin) for the two names
# that no family holds as known DLLs: COMCTL32.DLL, which the updater loads for its dialog, and
# SHFOLDER.DLL, which the data move loads. A load of either by bare name, by the updater or by
# the system on its behalf, then takes the planted file. The other
# names stay Wine's own, as each family takes them from the system folder here: kernel32, user32
# and gdi32 on every family; advapi32, ole32, shell32 and version are known DLLs of NT 4.0, 2000
# and XP (check_exe.py says from where). Searched first, they would be taken from the download
# folder by Wine's own libraries, in ways Windows' do not: Wine's kernel32 imports advapi32 and
# its user32 imports version.dll before the updater runs, its imm32 loads ole32 on its own, and
# its shfolder forwards SHGetFolderPathA to shell32 by bare name where the updater loaded it by
# full path.
#
#   planted_libraries.sh LOADER EXE PLANTED_DLL MKPE ARTIFACTS
#
# WINEPREFIX and DISPLAY set, one wineserver kept running for the prefix.
set -uo pipefail
loader=$1 exe=$2 planted=$3 mkpe=$4 artifacts=$(realpath "$5")
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-lib.sh"
caption='^TARN アップデーター$'
failures=0
fail() { echo "planted libraries: FAIL: $*"; failures=$((failures + 1)); }

# Every library vkupdate.exe imports (check_exe.py) or loads (system_libraries.cpp, and the
# documents-folder lookup), and the ones looked for beside it first.
libraries=(kernel32 user32 gdi32 advapi32 comctl32 ole32 shell32 version shfolder)
searched_first=(comctl32 shfolder)

"$loader" reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1
seed_product "$mkpe" || fail "seeding build 3.15"
downloads="$drive/Downloads"
mkdir -p "$downloads"
cp "$exe" "$downloads/vkupdate.exe"
for name in "${libraries[@]}"; do cp "$planted" "$downloads/$name.dll"; done

log="$artifacts/planted-libraries.loaddll"
(cd "$downloads" && WINEDLLOVERRIDES="mscoree,mshtml=;$(IFS=,; echo "${searched_first[*]}")=n,b" WINEDEBUG=+loaddll \
  "$loader" vkupdate.exe 2>"$log") &
app=$!
main=$(window '^Velkor TARN' 60)
if [ -z "$main" ]; then
  fail "the dialog did not appear"
else
  sleep 0.5
  press "$main" Return
  box=$(window "$caption" 120)
  if [ -z "$box" ]; then
    fail "no message after Start"
  else
    sleep 0.5
    /usr/bin/import -window root "$artifacts/planted-libraries.png" 2>/dev/null
    press "$box" Return
    gone "$caption" || fail "the message stayed open"
    [ -z "$(window "$caption" 2)" ] || fail "an error was reported (see planted-libraries.png)"
    box=$(leave_dialog "$main")
    if [ -z "$box" ]; then
      fail "Exit did not offer the restart: the update did not complete"
    else
      sleep 0.3
      press "$box" n
    fi
  fi
fi
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill "$app" 2>/dev/null
wait "$app" 2>/dev/null

# The mark takes the name's case from the load (SHFOLDER.DLL.loaded): looked for without it.
for name in "${libraries[@]}"; do
  [ -n "$(find "$downloads" -maxdepth 1 -iname "$name.dll.loaded")" ] && fail "the planted $name.dll was loaded"
done
loaded=$(grep -i 'Loaded.*Downloads.*: native' "$log" | grep -vi 'vkupdate\.exe' | tr -d '\r')
[ -z "$loaded" ] || fail "Wine loaded from the download folder: $(head -n 3 <<<"$loaded")"
# The updater did load them, from the system folder.
for name in "${searched_first[@]}"; do
  grep -qiE "Loaded L\"C:[\\]+windows[\\]+system32[\\]+$name\.dll\"" "$log" ||
    fail "$name.dll was not loaded from the system folder"
done
[ "$failures" -eq 0 ] || { echo "planted libraries: $failures failures"; exit 1; }
echo "planted libraries: ${#libraries[@]} planted (${libraries[*]}), none loaded; the update completed"
