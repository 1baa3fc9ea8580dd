# Sourced by the scripts that run the desktop program under a private Xvfb server (gui-screenshot and the
# gui-xvfb tests); not run on its own.

# Starts Xvfb on a display it picks itself and exports DISPLAY once the server accepts clients, so that
# two runs at once never race for one display number. Without -noreset the server resets when its last
# client (an xdotool call) leaves, and a program connecting just then is turned away. Sets xvfb_pid; the
# caller stops the server. Usage: start_xvfb WORK_DIR [SCREEN]. Fails when the server did not come up in
# 30 s.
start_xvfb() {
  local number="$1/display"
  Xvfb -displayfd 3 -noreset -screen 0 "${2:-1024x768x24}" -nolisten tcp 3>"$number" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 300); do [ -s "$number" ] && break; sleep 0.1; done
  [ -s "$number" ] || return 1
  DISPLAY=":$(head -1 "$number")"
  export DISPLAY
}

# Prints the id of the first visible window of the process pid once it shows, waiting up to 30 s; fails
# when none did. Usage: wait_for_window PID.
wait_for_window() {
  local window
  for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -1) && [ -n "$window" ] && { echo "$window"; return 0; }
    sleep 0.1
  done
  return 1
}
