# The Windows build's update on every Windows family the updater tells apart (95/98/Me, as
# Windows 95 and as 98; NT 4.0, 2000, XP), each on a prefix set to that version of Windows and
# seeded as the demo machine is
# (build 3.15 installed with its App Paths entry, its data files and its program-menu shortcut),
# driven on the Xvfb screen as a person would: Start, OK to the success message (kept as a
# screenshot in build/artifacts), Exit, and Yes to the restart, which Wine carries out as a
# restart of Windows does (the operations pending until restart are performed). The outcome is
# read through Wine after the run and after the restart, checked for what that family's update
# must leave, and compared whole with the same update on an emulated machine seeded
# identically (tools/compare/outcome.py); a difference not listed in
# tools/compare/wine_deviations.txt fails.
#
# Sourced by scripts/wine-tests.sh, which provides the screen, the prefix template, the
# functions of scripts/wine-lib.sh (use_prefix, end_prefix, window, press, gone, leave_dialog),
# $loader, $build, $arch, $root and $artifacts; run_families adds its results to $passed and
# $failed.

# family | Windows version of the prefix | vkmachine create options (as scripts/demo.sh makes them)
wine_families=(
  "95|win95|--platform 1 --major 4 --minor 0 --system C:\\WINDOWS\\SYSTEM"
  "98|win98|--platform 1 --major 4 --minor 10 --system C:\\WINDOWS\\SYSTEM"
  "nt4|nt40|--platform 2 --major 4 --minor 0 --system C:\\WINNT\\system32"
  "2000|win2k|--platform 2 --major 5 --minor 0 --system C:\\WINNT\\system32"
  "xp|winxp|--platform 2 --major 5 --minor 1"
)

# Whether a wineboot of the current prefix still runs (the restart that Yes asked for).
family_wineboot_runs() {
  local f
  for f in $(grep -las 'wineboot[.]exe' /proc/[0-9]*/cmdline); do
    tr '\0' '\n' 2>/dev/null <"${f%/cmdline}/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

# One family: $1 name, $2 Windows version of the prefix, $3 vkmachine create options.
run_family() {
  local name=$1 version=$2 options=$3
  local work="$root/build/wine/families/$name" outcome="/usr/bin/python3 $root/tools/compare/outcome.py"
  local probe="$build/tests/outcome_probe.exe" asked folder app main box ok=1
  local caption='^TARN アップデーター$'  # of every message box, as leave_dialog expects
  mapfile -t asked < <($outcome keys)
  rm -rf "$work"
  mkdir -p "$work"
  fam_fail() { echo "$name: FAIL: $*"; ok=0; }

  # The emulated machine, made as the demo machine is, but with its drivers not loaded: Wine
  # loads no driver, so both sides start from the same machine (the started machine is the
  # host tests' and the sweeps').
  # shellcheck disable=SC2086
  if ! "$vkmachine" create "$work/machine" $options >/dev/null ||
     ! "$vkmachine" install-product "$work/machine" --version "3, 1, 5, 0" --driver unloaded >/dev/null; then
    fam_fail "the emulated machine could not be made"; return 1
  fi

  # The prefix: that version of Windows, seeded from the machine.
  use_prefix "family-$name" || { fam_fail "no prefix"; return 1; }
  "$loader" reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null 2>&1
  "$loader" "$probe" "${asked[@]}" >"$work/seed.probe" 2>"$work/probe.err" &&
    $outcome seed "$work/machine" "$WINEPREFIX" "$work/seed.probe" "$WINEPREFIX/drive_c/seed.reg" &&
    "$loader" regedit /S 'C:\seed.reg' >/dev/null 2>&1 || { fam_fail "the prefix could not be seeded"; return 1; }
  rm -f "$WINEPREFIX/drive_c/seed.reg"
  # From now on the probe also lists the files of the outcome's folders with their attributes.
  while read -r folder; do asked=(--files "$folder" "${asked[@]}"); done < <($outcome folders "$work/seed.probe")
  "$loader" "$probe" "${asked[@]}" >"$work/wine-before.probe" 2>>"$work/probe.err" &&
    $outcome capture wine "$WINEPREFIX" "$work/wine-before.probe" "$work/wine-before.json" &&
    $outcome capture machine "$work/machine" "$work/machine-before.json" || { fam_fail "no state before the run"; return 1; }

  # The update on the screen: Start, OK, Exit, and Yes to the restart.
  "$loader" "$build/vkupdate.exe" &
  app=$!
  main=$(window '^Velkor TARN' 60)
  [ -n "$main" ] || { fam_fail "the dialog did not appear"; kill "$app" 2>/dev/null; return 1; }
  sleep 0.5
  press "$main" Return
  box=$(window "$caption" 120)
  [ -n "$box" ] || { fam_fail "no message after Start"; kill "$app" 2>/dev/null; return 1; }
  sleep 0.5
  /usr/bin/import -window root "$artifacts/family-$name-$arch.png" 2>/dev/null &&
    echo "$name: screenshot $artifacts/family-$name-$arch.png"
  press "$box" Return
  gone "$caption" || fam_fail "the message stayed open"
  # Only a successful update offers the restart on Exit.
  box=$(leave_dialog "$main")
  [ -n "$box" ] || { fam_fail "Exit did not offer the restart: the update did not succeed"; kill "$app" 2>/dev/null; return 1; }
  "$loader" "$probe" "${asked[@]}" >"$work/wine-run.probe" 2>>"$work/probe.err" &&
    $outcome capture wine "$WINEPREFIX" "$work/wine-run.probe" "$work/wine-run.json" "$work/wine-before.json" ||
    fam_fail "no state after the run"
  sleep 0.3
  press "$box" y
  # Wine ends the session's programs and performs the pending operations, as a restart does.
  for _ in $(seq 150); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$app" 2>/dev/null; then
    fam_fail "Yes to the restart did not end the program"
    kill "$app" 2>/dev/null
  fi
  wait "$app" 2>/dev/null
  for _ in $(seq 150); do family_wineboot_runs || break; sleep 0.1; done
  "$loader" "$probe" "${asked[@]}" >"$work/wine-restart.probe" 2>>"$work/probe.err" &&
    $outcome capture wine "$WINEPREFIX" "$work/wine-restart.probe" "$work/wine-restart.json" "$work/wine-before.json" ||
    fam_fail "no state after the restart"
  end_prefix

  # The same update on the emulated machine, then its restart.
  # The scripted dialog: Start, OK, Exit, Yes to the restart (asked only after a success);
  # the end of the input then leaves with No.
  printf 'start\nok\nexit\nyes\n' | VKUPDATE_MACHINE="$work/machine" "$vkupdate" >"$work/machine.transcript" 2>&1 &&
    grep -q '^{"event":"restart"}$' "$work/machine.transcript" ||
    fam_fail "the emulated machine's update did not end with the restart: $(tail -n 3 "$work/machine.transcript")"
  $outcome capture machine "$work/machine" "$work/machine-run.json" "$work/machine-before.json" &&
    "$vkmachine" reboot "$work/machine" >/dev/null &&
    $outcome capture machine "$work/machine" "$work/machine-restart.json" "$work/machine-before.json" ||
    fam_fail "no state of the emulated machine"

  $outcome check "$name" "$work/wine-run.json" "$work/wine-restart.json" "$work/wine-before.json" || ok=0
  local stage
  for stage in run restart; do
    $outcome compare "$name" "$stage" "$root/tools/compare/wine_deviations.txt" \
      "$work/wine-before.json" "$work/wine-$stage.json" \
      "$work/machine-before.json" "$work/machine-$stage.json" || ok=0
  done
  # A family that passed leaves its outcome files, not its prefix (0.6 GB); one that failed
  # keeps it for a look.
  [ "$ok" -eq 1 ] && rm -rf "$WINEPREFIX"
  [ "$ok" -eq 1 ]
}

run_families() {
  local row name version options start=$SECONDS
  vkmachine="$root/build/host-san/vkmachine"
  vkupdate="$root/build/host-san/vkupdate"
  if [ ! -x "$vkmachine" ] || [ ! -x "$vkupdate" ]; then
    vkmachine="$root/build/host/vkmachine"
    vkupdate="$root/build/host/vkupdate"
    { cmake -S "$root" -B "$root/build/host" -G Ninja -DVK_TESTS=OFF &&
      cmake --build "$root/build/host" --target vkmachine vkupdate; } >/dev/null
  fi
  if [ "$arch" = win32 ]; then
    echo "families: the shipped 32-bit vkupdate.exe under wine"
  else
    echo "families: the 64-bit build of the same sources under wine64 (this kernel cannot run 32-bit programs)"
  fi
  for row in "${wine_families[@]}"; do
    IFS='|' read -r name version options <<<"$row"
    echo "-- family $name (Windows version $version, $arch)"
    if run_family "$name" "$version" "$options"; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
    fi
  done
  echo "families: $((SECONDS - start)) s"
}
