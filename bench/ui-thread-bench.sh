#!/usr/bin/env bash
# Card calls made by the desktop program's UI thread, and the window on a card that hangs. A FAT card of
# four folders mounted with fusefat (a card reader through a userspace driver) is given with --card-root;
# the program runs under Xvfb and strace -f. Prints:
#   - the UI thread's calls that name the card over 30 s idle, then while eight folders are selected one
#     after the other with the keyboard (Down, one a second);
#   - with the card's node selected and the fusefat process stopped (every request to the card then
#     blocks): the UI thread's calls and its longest call over 10 s while Refresh (F5: a card scan and the
#     free space) is pressed once a second. A window that waits for the card shows one call lasting the
#     whole hang and next to no calls. (Selecting a folder of the hung card still waits: the folder's
#     watch is added on the UI thread.)
# With a second program the same figures come first for it (before/after, the same card).
# Needs root (FUSE), fusefat, mkfs.vfat, mtools, strace, Xvfb and xdotool. BENCH_IDLE=SECONDS shortens the
# idle time; BENCH_KEEP=1 keeps the work folder (the trace) for a look.
#
# Measured on the shared 2-core machine (load ~8), this build (the tree's card reads on its own pool, the
# folder icon made once) against the one before (both on the UI thread):
#   UI-thread card calls over 30 s idle, start-up included: 148 before (143 besides inotify_add_watch:
#   card scans, locks, free space, folder icons), 5 after (0 besides the start-up's five watches)
#   while selecting 8 folders: 19 before (15 besides inotify_add_watch), 4 after (0 besides them)
#   card hung for 10 s, F5 each second: the UI thread's longest call 10.19 s before (one call on the card
#   waited through the whole hang: the window neither repainted nor answered), 0.001 s after (0.0001x;
#   281 calls in those 10 s: it repaints and answers throughout)
#
# usage: bench/ui-thread-bench.sh [PROGRAM] [OTHER_PROGRAM]   (default build/relwithdebinfo/bin/tq9-image-converter)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
idle_s=${BENCH_IDLE:-30}
program=${1:-$here/build/relwithdebinfo/bin/tq9-image-converter}
other=${2:--}
for tool in fusefat mkfs.vfat mcopy strace Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "no $tool" >&2; exit 2; }
done
. "$here/scripts/xvfb.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/tq9-uithread-bench.XXXXXX")
xvfb_pid= app_pid= fuse_pid=
cleanup() {
    [ -n "$fuse_pid" ] && kill -CONT "$fuse_pid" 2>/dev/null || true
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    fusermount -u "$work/card" 2>/dev/null || umount -l "$work/card" 2>/dev/null || true
    [ -n "${BENCH_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/card" "$work/stage/TQ-9" "$work/home"
: >"$work/stage/TQ-9/.TQ-9_SD.PRM"
for n in 1 2 3 4; do
    mkdir -p "$work/stage/TQ-9/TQ9_000$n"
    for i in 1 2 3; do head -c 4096 /dev/urandom >"$work/stage/TQ-9/TQ9_000$n/CLIP000$i.MP4"; done
done
mkfs.vfat -C -n TQ9BENCH "$work/card.img" $((16 * 1024)) >/dev/null
mcopy -i "$work/card.img" -s "$work/stage/TQ-9" ::/
fusefat -o rw+ "$work/card.img" "$work/card" >/dev/null 2>&1
fuse_pid=$(pgrep -f "^fusefat .* $work/card\$" | head -1)
[ -n "$fuse_pid" ] || { echo "fusefat did not start" >&2; exit 1; }
start_xvfb "$work" || { echo "Xvfb did not start" >&2; exit 1; }
export QT_QPA_PLATFORM=xcb

# The UI thread's calls (the process's first thread) that name the card, between two marks in seconds
# since the start of the trace; those that add a folder's watch counted apart.
card_calls() {
    awk -v pid="$1" -v from="$2" -v to="$3" -v card="$work/card" '
        $1 != pid { next } { split($2, t, ":"); s = t[1] * 3600 + t[2] * 60 + t[3] }
        !start { start = s } s - start < from || s - start >= to { next }
        index($0, card) { n++; if (!/inotify_add_watch/) other++ }
        END { printf "%d (%d besides inotify_add_watch)", n, other }' "$work/trace"
}
# The UI thread's calls from a mark on, and the longest of them in seconds (strace -T), unfinished ones as
# lasting to the end of the trace; its waits on its own event loop (poll) left out.
hang_figures() {
    awk -v pid="$1" -v from="$2" '
        $1 != pid { next } { split($2, t, ":"); s = t[1] * 3600 + t[2] * 60 + t[3] }
        !start { start = s } s - start < from { next }
        /^[0-9]+ +[0-9:.]+ (<\.\.\. )?(e?poll|ppoll|pselect6|select|epoll_wait|epoll_pwait)[( ]/ { next }
        { n++ } /<unfinished/ { open = s } /resumed>/ && open { if (s - open > worst) worst = s - open; open = 0 }
        match($0, /<[0-9.]+>$/) { d = substr($0, RSTART + 1, RLENGTH - 2) + 0; if (d > worst) worst = d }
        END { if (open && s - open > worst) worst = s - open; printf "%d calls, longest %.3f s", n, worst }' "$work/trace"
}

measure() {
    rm -f "$work/trace" && rm -rf "$work/home" && mkdir -p "$work/home"
    HOME="$work/home" XDG_CONFIG_HOME="$work/home" strace -f -tt -T -y -qq -o "$work/trace" \
        -e trace=%file,%desc,statfs,fstatfs,flock "$1" --card-root "$work/card" >/dev/null 2>&1 &
    app_pid=$!
    pid=
    for _ in $(seq 100); do pid=$(pgrep -P "$app_pid" | head -1) && [ -n "$pid" ] && break; sleep 0.1; done
    window=$(wait_for_window "$pid") || { echo "the window did not appear" >&2; return 1; }
    t0=$(date +%s)
    sleep "$idle_s"
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window" || true
    for _ in 1 2 3 4 5 6 7 8; do xdotool key --window "$window" Down; sleep 1; done
    xdotool key --window "$window" Home
    sleep 1
    t1=$(date +%s)
    kill -STOP "$fuse_pid"
    for _ in $(seq 10); do xdotool key --window "$window" F5; sleep 1; done
    kill -CONT "$fuse_pid"
    sleep 2
    kill "$pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=
    idle=$(card_calls "$pid" 0 "$idle_s") selecting=$(card_calls "$pid" "$idle_s" $((t1 - t0)))
    echo "$2: UI-thread card calls: $idle over $idle_s s idle (start-up included), $selecting while selecting 8 folders"
    echo "$2: card hung for 10 s (F5 each second): UI thread $(hang_figures "$pid" $((t1 - t0)))"
}
[ "$other" = - ] || measure "$other" "other program"
measure "$program" "this program"
