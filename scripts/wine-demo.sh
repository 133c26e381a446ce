#!/usr/bin/env bash
# Runs the Windows build's dialog under Wine on a prefix seeded with build 3.15 of the product,
# then says what the update changed, read through Wine while the session still holds the
# operations pending until the restart.
#
#   bash scripts/wine-demo.sh
#
# With a display (DISPLAY set and answering) the dialog opens there and you drive it. Without
# one it runs on an Xvfb screen (xvfb-run) and the script drives it as a person would (Start,
# OK, Exit, No to the restart), keeping screenshots in build/artifacts/wine-demo-*.png.
#
# The prefix is build/wine/demo-win32 (demo-win64 where this kernel cannot start 32-bit
# programs, with the x86_64 build of the same sources), made afresh each time; Wine's home is
# build/wine/home, so the profile's folders (Documents and the like) stay inside the tree.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

usage() { sed -n '2,14s/^# \{0,1\}//p' "$0" >&2; exit 2; }
headless=0
case "${1:-}" in
  "") ;;
  --on-xvfb) headless=1 ;;  # set by the script itself under xvfb-run
  *) usage ;;
esac
if [ "$headless" -eq 0 ] && ! { [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; }; then
  bash scripts/setup.sh || exit 1
  echo "wine-demo: no display; running on an Xvfb screen, driven by the script"
  exec xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' bash "$0" --on-xvfb
fi
[ "$headless" -eq 1 ] || bash scripts/setup.sh || exit 1

. scripts/wine-lib.sh
choose_wine_arch
if [ "$arch" = win64 ]; then
  echo "wine-demo: this kernel cannot start 32-bit programs; using the x86_64 build of the same sources"
  [ -f build/win64/build.ninja ] || configure_win64 >/dev/null || exit 1
elif [ ! -f build/win32/build.ninja ]; then
  cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null || exit 1
fi
cmake --build "$build" --target vkupdate || exit 1
mkpe=build/host-san/mkpe
if [ ! -x "$mkpe" ]; then
  mkpe=build/host/mkpe
  [ -f build/host/build.ninja ] || cmake -S . -B build/host -G Ninja -DVK_TESTS=OFF >/dev/null || exit 1
  cmake --build build/host --target mkpe || exit 1
fi

wine_environment
artifacts="$root/build/artifacts"
mkdir -p "$artifacts" "$root/build/wine"
trap end_prefix EXIT
# The booted prefix the Wine tests copy serves here too (a copy takes seconds, booting half a
# minute); it is made when missing, or older than the prefix settings.
template="$root/build/wine/template-$arch"
if ! [ "$template/drive_c/settings.reg" -nt scripts/wine-lib.sh ]; then
  echo "wine-demo: making a Wine prefix (about half a minute)"
  rm -rf "$template"
  export WINEPREFIX="$template"
  make_prefix
  [ -f "$template/drive_c/settings.reg" ] || exit 1
fi
use_prefix demo || exit 1
if [ "$headless" -eq 0 ]; then
  # On a desktop its window manager places and decorates the windows.
  "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d Y /f >/dev/null 2>&1
  "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d Y /f >/dev/null 2>&1
fi
"$loader" reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1
seed_product "$mkpe" || exit 1

# The keys the update writes, exported by Wine's reg: "KEY<tab>VALUE LINE" lines, a value
# line as a .reg file writes it ("Port"=dword:00001f90), continued lines joined.
keys=('HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\VKTARN.EXE'
      'HKLM\SYSTEM\CurrentControlSet\Services\cdrvkvsd'
      'HKCU\Software\Orvane\VkTARN')
registry() {
  local key export="$before/export.reg"
  for key in "${keys[@]}"; do
    rm -f "$export"
    "$loader" reg export "$key" "Z:${export//\//\\}" /y >/dev/null 2>&1 || continue
    iconv -f UTF-16 -t UTF-8 "$export" | tr -d '\r' | sed -e ':a' -e '/\\$/{N;s/\\\n *//;ba' -e '}' |
      grep '^[@"]' | while IFS= read -r line; do printf '%s\t%s\n' "$key" "$line"; done
  done
}
before=$(mktemp -d "$root/build/wine/before-XXXXXX")
trap 'end_prefix; rm -rf "$before"' EXIT
/usr/bin/python3 tools/pylib/machine_view.py snapshot "$WINEPREFIX" "$before/files" || exit 1
registry >"$before/registry"

echo
echo "Velkor TARN 3.15 is installed in $product (Windows XP, as Wine reports it)."
if [ "$headless" -eq 0 ]; then
  cat <<'EOF'
The updater's dialog opens now. Start (or Enter) runs the update; OK (Enter) closes its
message. Exit (or Esc) leaves and, after an update, offers to restart Windows: No ends the
program, and what follows shows the driver still pending. Yes asks Wine to restart: Wine ends
the program and performs the pending operations as a restart would, so the driver is then in
place and nothing is pending.
EOF
  "$loader" "$build/vkupdate.exe" || true
else
  caption='^TARN アップデーター$'
  shot() { /usr/bin/import -window root "$artifacts/wine-demo-$1.png" && echo "wine-demo: screenshot build/artifacts/wine-demo-$1.png"; }
  "$loader" "$build/vkupdate.exe" &
  app=$!
  main=$(window '^Velkor TARN' 60)
  [ -n "$main" ] || { echo "wine-demo: the dialog did not appear"; kill "$app"; exit 1; }
  sleep 1
  shot dialog
  press "$main" Return
  box=$(window "$caption" 120)
  [ -n "$box" ] || { echo "wine-demo: no message after Start"; kill "$app"; exit 1; }
  sleep 0.5
  shot outcome
  press "$box" Return
  gone "$caption" || true
  box=$(leave_dialog "$main")
  if [ -n "$box" ]; then
    sleep 0.3
    shot restart
    press "$box" n
  else
    echo "wine-demo: Exit did not offer the restart"
  fi
  for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  kill "$app" 2>/dev/null || wait "$app" || true
fi

echo
echo "What changed in the prefix $WINEPREFIX:"
/usr/bin/python3 tools/pylib/machine_view.py files "$before/files" "$WINEPREFIX"
registry >"$before/after"
awk -F '\t' '
  FILENAME == ARGV[1] { had[$1] = 1; seen[$0] = 1; next }
  seen[$0] { next }
  $1 != key {
    if (key != "") print ""
    key = $1
    printf "  registry %s\n           %s: %s", key, had[key] ? "set" : "new key", $2
    next
  }
  { printf ", %s", $2 }
  END { if (key != "") print "" }' "$before/registry" "$before/after"
pending=$(query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' PendingFileRenameOperations)
if [ -n "$pending" ]; then
  echo "  pending until the next restart (read through Wine in the same session):"
  # Source and target alternate, each "\??\" + path, "!" before a target that is replaced.
  sed 's/\\0/\n/g' <<<"$pending" | paste - - | while IFS=$'\t' read -r source target; do
    source=${source#\\??\\}
    if [ -z "$target" ]; then echo "           delete $source"; continue; fi
    case "$target" in
      '!'*) target=${target#!}; echo "           $source -> ${target#\\??\\} (replace existing)" ;;
      *) echo "           $source -> ${target#\\??\\}" ;;
    esac
  done
fi
echo
echo "The prefix stays in build/wine/demo-$arch. Wine performs the pending operations when a"
echo "new session starts on it (wineboot, as at a restart of Windows): for example"
echo "  WINEPREFIX=$WINEPREFIX HOME=$HOME $loader wineboot"
