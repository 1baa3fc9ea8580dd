#!/usr/bin/env bash
# The desktop program as a screen reader sees it (accessibility.py) on a demo card under Xvfb, with a private
# session bus and its accessibility bus. Usage: accessibility.sh PROGRAM SOURCE_DIR. Exit 77: skipped.
set -euo pipefail
bin=${1:?usage: accessibility.sh PROGRAM SOURCE_DIR} source=${2:?}
. "$source/scripts/xvfb.sh"
for tool in Xvfb xdotool dbus-run-session ffmpeg openbox; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
/usr/bin/python3 -c "import pyatspi" 2>/dev/null || { echo "skipped: python3-pyatspi is not installed"; exit 77; }
[ -e /usr/libexec/at-spi-bus-launcher ] || { echo "skipped: at-spi2-core is not installed"; exit 77; }

work=$(mktemp -d)
xvfb_pid= wm_pid=
trap '[ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null; [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT
"$source/scripts/make-demo-card" "$work/card" >/dev/null
mkdir -p "$work/home"
# Long enough for the progress dialog to be looked at before it is cancelled.
ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25:duration=120 -f lavfi -i sine=duration=120 \
  -c:v mpeg4 -q:v 5 -c:a mp2 "$work/clip.mp4"
start_xvfb "$work" || { echo "Xvfb did not start"; exit 1; }
# A window manager gives the keyboard to the dialog that opens, as a desktop does.
openbox >/dev/null 2>&1 &
wm_pid=$!
status=0
dbus-run-session -- /usr/bin/python3 "$(dirname "$0")/accessibility.py" "$bin" "$work" || status=$?
[ "$status" = 0 ] || cat "$work/app.log"
exit "$status"
