#!/usr/bin/env bash
# The whole road of an update with the host vkupdate, on a machine of each Windows family made
# with vkmachine: nothing located (picker cancelled, a folder without a known build), an
# installation already current and declined, a file failing, a success with the restart
# offered, a second run over the current build, a run failing after a success, and the restart
# of the machine. After each: the messages, the files, the registry (read from registry.reg and
# its journal by an independent reader), the data folder and the shortcut.
set -u
src=$VK_SOURCE_DIR
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkpe=$(dirname "$VKMACHINE")/mkpe
product='C:\Program Files\Orvane\Velkor TARN'
failures=0

fail() { echo "FAIL [$family]: $*"; failures=$((failures + 1)); }
view() { /usr/bin/python3 "$src/tools/pylib/machine_view.py" "$@"; }
hpath() { view path "$m" "$1"; }
reg() { view query "$m" "$@" 2>/dev/null; }
# One run of the dialog over the machine, its steps on standard input (see converse.py).
converse() {
  VKUPDATE_MACHINE=$m /usr/bin/python3 "$src/tools/pylib/converse.py" "$VKUPDATE" "$src/resources/strings.rc" \
    >"$work/transcript" || { cat "$work/transcript"; fail "$1"; return 1; }
}
# Content hash of every file below a host folder, by path relative to it.
hashes() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r sha1sum); }
same_tree() { [ "$(hashes "$1")" = "$(hashes "$2")" ]; }
is_new_product_exe() {
  /usr/bin/python3 - "$1" <<'EOF'
import os, sys, pefile
pe = pefile.PE(sys.argv[1])
version = {k.decode(): v.decode() for info in pe.FileInfo[0] for t in getattr(info, "StringTable", [])
           for k, v in t.entries.items()}.get("FileVersion")
sys.exit(0 if version == "3, 1, 6, 0" and os.path.getsize(sys.argv[1]) == 4371968 else 1)
EOF
}

# The machines have started since the product was installed: Windows holds the drivers it
# loaded, and replaces them at the next restart.
# family | vkmachine options | the family's new files in the system folder (sub-folder:count) |
# its files in the install folder | drivers replaced at restart (temp name:target below
# Drivers, ...) | the driver service key: written, kept (as installed) or none | shortcut rewritten
families=(
  "95/98|--platform 1 --major 4 --minor 10 --system C:\\WINDOWS\\SYSTEM|\\IOSUBSYS:1|3||none|0"
  "NT 4.0|--platform 2 --major 4 --minor 0 --system C:\\WINNT\\system32|:2|0|vk036.tmp:MOD39.SYS vk037.tmp:CDRVKVSD.SYS|kept|0"
  "2000|--platform 2 --major 5 --minor 0 --system C:\\WINNT\\system32|:1|0|vk038.tmp:CDRVKVSD.SYS|written|0"
  "XP|--platform 2 --major 5 --minor 1|:1|0|vk038.tmp:CDRVKVSD.SYS|written|1"
)

for row in "${families[@]}"; do
  IFS='|' read -r family options system_files install_extra at_restart service_kind shortcut <<<"$row"
  m="$work/m"
  rm -rf "$m"
  # shellcheck disable=SC2086
  "$VKMACHINE" create "$m" $options >/dev/null || { fail "vkmachine create"; continue; }
  system=$(sed -n 's/^system *= *//p' "$m/machine.ini" | tr -d '\r')
  temp=$(sed -n 's/^temp *= *//p' "$m/machine.ini" | tr -d '\r')
  documents=$(sed -n 's/^documents *= *//p' "$m/machine.ini" | tr -d '\r')

  # 1. Nothing located: the picker cancelled, then a folder holding an unknown build.
  registry_files() { cat "$m/registry.reg" "$m/registry.journal" 2>/dev/null; }
  registry_files >"$work/registry.before"
  mkdir -p "$(hpath 'C:\Other')"
  "$mkpe" "$(hpath 'C:\Other')/VKTARN.EXE" --version "9, 9, 9, 9" >/dev/null
  converse "nothing located" <<'EOF' || continue
< dialog
> start
< picker
>
< message 64 IDS_NOT_INSTALLED
> ok
> start
< picker
> C:\Other
< message 64 IDS_NOT_INSTALLED
> ok
# No update succeeded: Exit ends the program without the restart question.
> exit
< end
EOF
  registry_files | cmp -s - "$work/registry.before" || fail "nothing located: the registry changed"

  # 2. An installation already current, found with the picker and declined, twice (the second
  # time through the App Paths values the first run wrote).
  current='C:\Current'
  mkdir -p "$(hpath "$current")"
  "$mkpe" "$(hpath "$current")/VKTARN.EXE" --version "3, 1, 6, 0" --size 4371968 >/dev/null
  rm -rf "$work/current.before"
  cp -a "$(hpath "$current")" "$work/current.before"
  converse "already current, declined" <<EOF || continue
< dialog
> start
< picker
> $current
< message 36 IDS_ALREADY_CURRENT
> no
> start
< message 36 IDS_ALREADY_CURRENT
> no
> exit
< end
EOF
  key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\VKTARN.EXE'
  [ "$(reg "$key" Path)" = "$current" ] || fail "declined: App Paths Path is '$(reg "$key" Path)'"
  [ "$(reg "$key" @)" = "$current\\VKTARN.EXE" ] || fail "declined: App Paths default is '$(reg "$key" @)'"
  same_tree "$work/current.before" "$(hpath "$current")" || fail "declined: the current installation changed"
  [ -z "$(reg 'HKCU\Software\Orvane\VkTARN')" ] || fail "declined: settings written"

  # 3. An old build whose 21st file fails to install: the engine's two messages only, the files
  # before it installed, the failing one untouched, no restart offered.
  "$VKMACHINE" install-product "$m" --version "3, 1, 5, 0" >/dev/null || { fail "install-product"; continue; }
  reg 'HKLM\SYSTEM\CurrentControlSet\Services\cdrvkvsd' >"$work/service.installed"
  folder=$(hpath "$product")
  rm -rf "$work/product.before"
  cp -a "$folder" "$work/product.before"
  reg 'HKCU\Software\Orvane\VkTARN' >"$work/settings.before"
  VKUPDATE_FAULTS=VerInstallFileA:21:5 converse "a file fails" <<EOF || continue
< dialog
> start
< progress 20
< message 16 path $product\\
> ok
< message 16 IDS_IO_ERROR
> ok
> exit
< end
EOF
  failed=$(sed -n 's/^path: //p' "$work/transcript")
  if [ -n "$failed" ]; then
    name=${failed##*\\}
    if [ -e "$work/product.before/$name" ]; then
      cmp -s "$work/product.before/$name" "$folder/$name" || fail "a file fails: $name was changed"
    else
      [ ! -e "$folder/$name" ] || fail "a file fails: $name was created"
    fi
  fi
  changed=$(diff <(hashes "$work/product.before") <(hashes "$folder") | grep -c '^>')
  [ "$changed" -eq 20 ] || fail "a file fails: $changed files installed before it, not 20"
  [ "$(reg "$key" Path)" = "$product" ] || fail "a file fails: App Paths Path is '$(reg "$key" Path)'"
  # No post-install step ran: the settings and the data files are as they were.
  reg 'HKCU\Software\Orvane\VkTARN' | cmp -s - "$work/settings.before" || fail "a file fails: the settings changed"
  [ -f "$folder/VKCDDB.DB" ] || fail "a file fails: the data files were moved"

  # 4. VKTARN.EXE came before the failing file, so the installation now counts as current:
  # string 6 first, then the whole update, the restart offered on Exit and asked for on Yes
  # with the dialog left open; a second Exit asks again.
  rm -rf "$work/before"
  cp -a "$m" "$work/before"
  converse "success" <<'EOF' || continue
< dialog
> start
< message 36 IDS_ALREADY_CURRENT
> yes
< progress 34
< message 64 IDS_UPDATE_DONE
> ok
> exit
< message 68 IDS_RESTART_QUESTION
> yes
< restart
> exit
< message 68 IDS_RESTART_QUESTION
> no
< end
EOF
  check_success() {
    local what=$1
    is_new_product_exe "$folder/VKTARN.EXE" || fail "$what: VKTARN.EXE is not build 3, 1, 6, 0 of 4,371,968 bytes"
    ls "$folder" | grep -qi '^vk[0-9]*\.tmp$' && fail "$what: temporary files left in the install folder"
    local installed
    installed=$(diff <(hashes "$work/product.before") <(hashes "$folder") | grep -c '^>')
    # Every payload file of the common route and of the family's route in the install folder
    # differs from the old installation (the data files have left it).
    [ "$installed" -eq $((34 + install_extra)) ] || fail "$what: $installed files installed in the product folder"
    [ "$(reg "$key" Path)" = "$product" ] || fail "$what: App Paths Path '$(reg "$key" Path)'"
    [ "$(reg "$key" @)" = "$product\\VKTARN.EXE" ] || fail "$what: App Paths default '$(reg "$key" @)'"
    local settings='HKCU\Software\Orvane\VkTARN'
    [ "$(reg "$settings" EnableEncode)" = 0 ] && [ "$(reg "$settings" CopyBadSector)" = 0 ] ||
      fail "$what: EnableEncode/CopyBadSector not reset"
    [ "$(reg "$settings" TempFolder)" = "$temp" ] || fail "$what: TempFolder '$(reg "$settings" TempFolder)'"
    [ "$(reg "$settings" | wc -l)" -ge 9 ] || fail "$what: fewer than nine settings"
    local data
    data=$(hpath "$documents\\VkTARN Data")
    for f in VKCDDB.DB CHG.LOG; do
      [ -f "$data/$f" ] || fail "$what: $f not in the data folder"
      [ ! -e "$folder/$f" ] || fail "$what: $f still in the install folder"
    done
    [ "$(ls "$data" | grep -ci '\.lst$')" -eq 2 ] || fail "$what: the list files are not in the data folder"
    local lnk
    lnk=$(hpath "$(reg 'HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' 'Common Programs')\\Velkor TARN\\Velkor TARN.lnk")
    if [ "$shortcut" -eq 1 ]; then
      lnkinfo -c windows-932 "$lnk" >"$work/lnkinfo" 2>&1 || fail "$what: lnkinfo cannot read the shortcut"
      grep -q "Local path[[:space:]]*: $(printf '%s' "$product\\VKTARN.EXE" | sed 's/[\\.]/\\&/g')\$" "$work/lnkinfo" ||
        fail "$what: shortcut target: $(grep -i 'local path' "$work/lnkinfo")"
      grep -q "Working directory[[:space:]]*: $(printf '%s' "$product" | sed 's/[\\.]/\\&/g')\$" "$work/lnkinfo" ||
        fail "$what: shortcut working folder: $(grep -i 'working' "$work/lnkinfo")"
    else
      local lnk_rel=${lnk#"$m/"}
      cmp -s "$work/before/$lnk_rel" "$lnk" || fail "$what: the shortcut changed on this family"
    fi
    local service='HKLM\SYSTEM\CurrentControlSet\Services\cdrvkvsd'
    case $service_kind in
      written) [ "$(reg "$service" | wc -l)" -ge 5 ] || fail "$what: driver service key has fewer than five values" ;;
      kept) [ "$(reg "$service")" = "$(cat "$work/service.installed")" ] || fail "$what: the driver service key changed" ;;
      none) [ -z "$(reg "$service")" ] || fail "$what: a driver service key on this family" ;;
    esac
    # Each held driver is renamed over by its new file at the restart; nothing else is pending.
    local ops expected="" pair
    ops=$(view pending "$m" | tr '[:upper:]' '[:lower:]')
    for pair in $at_restart; do
      [ -f "$(hpath "$system\\${pair%%:*}")" ] || fail "$what: the new ${pair#*:} does not wait in the system folder"
      local op
      op=$(tr '[:upper:]' '[:lower:]' <<<"$system\\${pair%%:*} -> $system\\Drivers\\${pair#*:} (replace existing)")
      grep -qxF "$op" <<<"$ops" || fail "$what: the new ${pair#*:} is not pending: $ops"
      expected+="$op"$'\n'
    done
    [ "$service_kind" != written ] || [ -f "$(hpath "$temp\\vk038.tmp")" ] ||
      fail "$what: the driver's extracted copy is not in the temp folder"
    grep -vxF -f <(printf '%s' "${expected:-none}") <<<"$ops" | grep -q . && fail "$what: other operations pending: $ops"
  }
  check_success "success"
  # The family's own files in the system folder; on 2000 and XP the old driver stays in place
  # until the restart.
  sys_dir=$(hpath "$system${system_files%%:*}")
  sys_rel=${sys_dir#"$m/"}
  sys_new=$(diff <(cd "$work/before/$sys_rel" 2>/dev/null && find . -maxdepth 1 -type f -print0 | sort -z | xargs -0 -r sha1sum) \
                 <(cd "$sys_dir" && find . -maxdepth 1 -type f -print0 | sort -z | xargs -0 -r sha1sum) | grep -c '^>')
  [ "$sys_new" -eq "${system_files##*:}" ] || fail "success: $sys_new new files in $sys_dir, not ${system_files##*:}"
  for pair in $at_restart; do
    driver=$(hpath "$system\\Drivers\\${pair#*:}")
    cmp -s "$work/before/${driver#"$m/"}" "$driver" || fail "success: ${pair#*:} was replaced before the restart"
  done

  # 5. A second Start over the current build: string 6, Yes installs everything again with the
  # bar from 2; then a run that fails (the temp folder gone) keeps the restart offer.
  temp_dir=$(hpath "$temp")
  converse "second run, then a failing one" <<EOF || continue
< dialog
> start
< message 36 IDS_ALREADY_CURRENT
> yes
< progress 34
< message 64 IDS_UPDATE_DONE
> ok
! mv "$temp_dir" "$work/temp.away"
> start
< message 36 IDS_ALREADY_CURRENT
> yes
< message 16 path $product\\
> ok
< message 16 IDS_IO_ERROR
> ok
! mv "$work/temp.away" "$temp_dir"
> exit
< message 68 IDS_RESTART_QUESTION
> no
< end
EOF
  check_success "second run"

  # 6. The restart: the driver waiting in the system folder takes its place.
  for pair in $at_restart; do cp "$(hpath "$system\\${pair%%:*}")" "$work/new-${pair#*:}"; done
  "$VKMACHINE" reboot "$m" >/dev/null 2>&1 || fail "vkmachine reboot"
  [ -z "$(view pending "$m")" ] || fail "after the restart: operations still pending"
  for pair in $at_restart; do
    cmp -s "$work/new-${pair#*:}" "$(hpath "$system\\Drivers\\${pair#*:}")" || fail "after the restart: ${pair#*:} is not the new one"
    [ ! -e "$(hpath "$system\\${pair%%:*}")" ] || fail "after the restart: ${pair%%:*} is still in the system folder"
  done
  echo "update_road [$family]: done"
done

[ "$failures" -eq 0 ] || { echo "update_road: $failures failures"; exit 1; }
echo "update_road: ok"
