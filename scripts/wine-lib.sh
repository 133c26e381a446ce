# Shared by scripts/wine-tests.sh, tests/win/update_run.sh and scripts/wine-demo.sh (sourced,
# from the top of the tree): the Windows build this kernel can run, the Wine environment, a
# prefix whose profile stays inside it, one wineserver held for a prefix, build 3.15 of the
# product seeded into it, and the helpers that read and drive it.
#
# Globals: root (the top of the tree), arch, loader, build, server; WINEPREFIX; template (the
# prefix use_prefix copies); prefix_up.

# The product is the 32-bit build. Where this kernel cannot start 32-bit programs (wine32
# fails with "Exec format error"), the same sources built for 64-bit Windows run under wine64.
choose_wine_arch() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    arch=win32; loader=/usr/lib/wine/wine; build=build/win32; export WINEARCH=win32
  else
    arch=win64; loader=/usr/lib/wine/wine64; build=build/win64; export WINEARCH=win64
  fi
  server=/usr/lib/wine/wineserver
}

# Configures build/win64. A stand-in for the product under Wine, not the executable that ships,
# but built as the product is (a release of its own, no C runtime, its libraries loaded from the
# system folder), so that what Wine runs starts as the product does.
configure_win64() {
  cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
    -DVK_RELEASE_PRODUCT=ON
}

# The environment of every Wine call: Japanese locale (code page 932), no debug output, no
# Mono or Gecko download.
wine_environment() {
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  # Wine links the profile's folders to the home folder: a home of the tests' own keeps whatever
  # a program writes there inside the build folder.
  export HOME="$root/build/wine/home"
  mkdir -p "$HOME"
}

# Makes the prefix $WINEPREFIX (absent): booted, its profile folders real folders inside it,
# Wine's fonts, the dialog's Japanese fonts replaced, windows unmanaged.
make_prefix() {
  DISPLAY= "$loader" wineboot --init >/dev/null 2>&1
  "$server" -w
  # Wine links the profile's Documents, Desktop and the like to the Unix home: made real folders
  # here, so that nothing a test writes there lands outside the prefix.
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
  done
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
  # Unmanaged, undecorated windows keep keyboard focus reliable without a window manager; the
  # dialog's Japanese fonts are replaced by the IPA fonts.
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' '"Decorated"="N"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"ＭＳ Ｐゴシック"="IPAPGothic"' '"ＭＳ ゴシック"="IPAGothic"' '"MS UI Gothic"="IPAPGothic"' '' \
    | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } > "$WINEPREFIX/drive_c/settings.reg"
  DISPLAY= "$loader" regedit /S 'C:\settings.reg' >/dev/null 2>&1
  "$server" -w
}

# Gives the tests that follow a fresh copy of the template, named $1, and one wineserver kept
# running for it until end_prefix: a new server would run wineboot, which carries out the
# operations pending until restart that the update run checks. (A server that is still ending
# makes `wineserver -p` fail, hence its own prefix and the check.) The session's own processes
# are started here with no output, so that none holds a test's pipe open.
prefix_up=0
use_prefix() {
  end_prefix
  export WINEPREFIX="$root/build/wine/$1-$arch"
  # A server an interrupted run left on this prefix would outlive the folder's removal.
  [ -d "$WINEPREFIX" ] && { "$server" -k; "$server" -w; } >/dev/null 2>&1
  rm -rf "$WINEPREFIX"
  cp -a "$template" "$WINEPREFIX" || return 1
  "$server" -p || { echo "wine: no wineserver of its own for $1"; return 1; }
  prefix_up=1
  "$loader" wineboot >/dev/null 2>&1
}
# Ends every process of the current prefix, the server included.
end_prefix() {
  [ "$prefix_up" -eq 1 ] || return 0
  "$server" -k >/dev/null 2>&1
  "$server" -w >/dev/null 2>&1
  prefix_up=0
}

# `wine reg query` output of one value, or nothing.
query() { "$loader" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
# The host path of a Windows path on drive C: of the prefix.
unix() { printf '%s/%s' "$drive" "$(printf '%s' "${1#C:\\}" | tr '\\' '/')"; }

# Seeds the prefix with build 3.15 of the product, made by the PE writer $1: VKTARN.EXE, its
# App Paths entry, data files, an old setting to be reset, and the program-menu folder of the
# shortcut. Sets drive, product, product_dir and shortcut_dir.
seed_product() {
  local mkpe=$1 programs
  drive="$WINEPREFIX/drive_c"
  product='C:\Program Files\Orvane\Velkor TARN'
  product_dir="$drive/Program Files/Orvane/Velkor TARN"
  mkdir -p "$product_dir"
  "$mkpe" "$product_dir/VKTARN.EXE" --version "3, 1, 5, 0" --size 4371968 >/dev/null || return 1
  for f in VKCDDB.DB CHG.LOG OLD.LST new.lst; do echo "data of $f" >"$product_dir/$f"; done
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\VKTARN.EXE]' \
    "@=\"${product//\\/\\\\}\\\\VKTARN.EXE\"" "\"Path\"=\"${product//\\/\\\\}\"" '' \
    '[HKEY_CURRENT_USER\Software\Orvane\VkTARN]' '"EnableEncode"=dword:00000001' '"Port"=dword:00001f90' '' \
    | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$drive/seed.reg"
  "$loader" regedit /S 'C:\seed.reg' >/dev/null 2>&1
  programs=$(query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' 'Common Programs')
  [ -n "$programs" ] || programs='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
  shortcut_dir=$(unix "$programs\\Velkor TARN")
  mkdir -p "$shortcut_dir"
}

# The visible window with a title matching $1, waiting up to $2 seconds.
window() { timeout "$2" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
# Gives window $1 the keyboard focus and types key $2, as the keyboard would (no window
# manager runs, so focus is set directly, not by activation).
press() {
  xdotool windowfocus --sync "$1" 2>/dev/null
  sleep 0.2
  xdotool key --clearmodifiers "$2" 2>/dev/null
}
gone() { for _ in $(seq 100); do xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0; sleep 0.1; done; return 1; }
# Esc on the dialog $1 after a run, as a person would: the run disabled the focused Start
# button, so the dialog has no keyboard focus; a click on it (its picture) first, and again if
# nothing came. Prints the message box titled $caption that opened, or nothing.
leave_dialog() {
  local box=""
  sleep 1
  for _ in 1 2 3; do
    xdotool mousemove --window "$1" 80 120 click 1
    sleep 0.3
    press "$1" Escape
    box=$(window "$caption" 10)
    [ -n "$box" ] && break
  done
  printf '%s' "$box"
}
