#!/usr/bin/env bash
# A TQ-9 card on a tmpfs mounted and unmounted while the desktop program runs under Xvfb: the tree adds its
# node when the card is mounted, follows a folder made on it, and drops the node when it is unmounted; a
# volume mounted empty and formatted afterwards shows up too. The program's debug log says what the tree
# did. Runs itself again in a private mount namespace, so that no other program on the machine sees the
# card. Usage: live-card.sh PROGRAM. Exit 77: skipped.
set -euo pipefail
bin=${1:?usage: live-card.sh PROGRAM}
. "$(dirname "$0")/../../scripts/xvfb.sh"

if [ -z "${TQ9_PRIVATE_MOUNTS:-}" ]; then
  [ "$(id -u)" = 0 ] || { echo "skipped: mounting a tmpfs needs root"; exit 77; }
  for tool in Xvfb xdotool unshare; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
  done
  unshare -m --propagation private true 2>/dev/null || { echo "skipped: no private mount namespace here"; exit 77; }
  TQ9_PRIVATE_MOUNTS=1 exec unshare -m --propagation private "$0" "$@"
fi

work=$(mktemp -d)
xvfb_pid= app_pid=
cleanup() {
  # SIGTERM ends the program cleanly (it cancels, saves and quits): let it finish before its home goes.
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  umount -l "$work/card" 2>/dev/null || true
  umount -l "$work/staging" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to 10 s for the program's log to hold a line.
expect_log() {
  for _ in $(seq 100); do
    grep -qxF "$1" "$work/app.log" && return 0
    kill -0 "$app_pid" 2>/dev/null || { echo "the program ended"; cat "$work/app.log"; exit 1; }
    sleep 0.1
  done
  echo "not in the log: $1"
  cat "$work/app.log"
  exit 1
}

start_xvfb "$work" || { echo "Xvfb did not start"; exit 1; }
export QT_QPA_PLATFORM=xcb TQ9_DEBUG=1

mkdir -p "$work/card" "$work/staging" "$work/home"
HOME="$work/home" XDG_CONFIG_HOME="$work/home" "$bin" >"$work/app.log" 2>&1 &
app_pid=$!
wait_for_window "$app_pid" >/dev/null || { echo "the window did not appear"; cat "$work/app.log"; exit 1; }

# A card arrives whole, as a card reader's mount does: filled elsewhere, then moved into place.
mount -t tmpfs -o size=4m tq9card "$work/staging"
mkdir -p "$work/staging/TQ-9/TQ9_0001"
: >"$work/staging/TQ-9/.TQ-9_SD.PRM"
printf 'jpeg' >"$work/staging/TQ-9/TQ9_0001/photo.jpg"
mount --move "$work/staging" "$work/card"
expect_log "CLeftView: card added $work/card"
expect_log "CLeftView: folder added $work/card/TQ-9/TQ9_0001"

mkdir "$work/card/TQ-9/TQ9_0002"
expect_log "CLeftView: folder added $work/card/TQ-9/TQ9_0002"

umount "$work/card"
expect_log "CLeftView: card removed $work/card"
kill -0 "$app_pid" 2>/dev/null || { echo "the program ended"; cat "$work/app.log"; exit 1; }
[ "$(grep -cxF "CLeftView: card added $work/card" "$work/app.log")" = 1 ] || { echo "card added twice"; exit 1; }

# A volume mounted while the program runs that the device formats afterwards: no mount change tells of
# the card, the program's periodic look finds it.
mount -t tmpfs -o size=4m tq9card "$work/card"
sleep 0.5
mkdir -p "$work/card/TQ-9/TQ9_0001"
: >"$work/card/TQ-9/.TQ-9_SD.PRM"
for _ in $(seq 100); do
  [ "$(grep -cxF "CLeftView: card added $work/card" "$work/app.log")" = 2 ] && break
  sleep 0.1
done
[ "$(grep -cxF "CLeftView: card added $work/card" "$work/app.log")" = 2 ] || { echo "formatted card not found"; cat "$work/app.log"; exit 1; }
[ "$(grep -cxF "CLeftView: folder added $work/card/TQ-9/TQ9_0001" "$work/app.log")" = 2 ] || { echo "its folder is missing"; exit 1; }
umount "$work/card"
echo "card mounted, followed and unmounted while the program ran; a volume formatted while mounted was found"
