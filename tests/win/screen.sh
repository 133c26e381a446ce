# Driving the Windows build's dialog on the Xvfb screen as a person would; sourced by the Wine
# tests (tests/win/update_run.sh, scripts/wine-families.sh). DISPLAY set.

# The visible window with a title matching $1, waiting up to $2 seconds.
window() { timeout "$2" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
# Gives window $1 the keyboard focus and types key $2, as the keyboard would (no window
# manager runs, so focus is set directly, not by activation).
press() {
  xdotool windowfocus --sync "$1" 2>/dev/null
  sleep 0.2
  xdotool key --clearmodifiers "$2" 2>/dev/null
}
# Waits up to 10 s until no visible window has a title matching $1.
gone() { for _ in $(seq 100); do xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0; sleep 0.1; done; return 1; }
# Exit on the dialog $1 after a run, and the box titled $2 that it opens (the restart offer),
# or nothing. The run disabled the focused Start button, so the dialog has no keyboard focus:
# as a person would, click the dialog (its picture) before pressing Esc, and again if nothing
# came.
leave() {
  local box=""
  for _ in 1 2 3; do
    xdotool mousemove --window "$1" 80 120 click 1
    sleep 0.3
    press "$1" Escape
    box=$(window "$2" 10)
    [ -n "$box" ] && break
  done
  echo "$box"
}
