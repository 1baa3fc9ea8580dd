#!/bin/sh
# File-list benchmark on a slow card: a FAT image mounted with fusefat (FUSE, as a card reader through a
# userspace driver) holding one folder of N recordings (.MP4 with .MRK and .THM sidecars). Shows the
# folder in the list view (bench_filelist), scrolls it top to bottom, and prints: the time to the first
# screen painted and to the whole scroll, each also as a ratio to `ls -l` of the same folder measured in
# the same run, and the file-system calls the UI thread made while scrolling (counted with strace -ff on
# that thread alone). With a second build folder the same figures follow for that build (before/after).
# Needs root (FUSE), fusefat, mkfs.vfat, mtools and strace.
#
# Measured on the shared 2-core machine (load ~11), 500 recordings (1,500 files) in one folder, this
# build against the one before the list owned its rows:
#   UI-thread file-system calls while scrolling 45 pages: 12,123 before, 0 after (the one call traced is
#   an eventfd write, Qt waking its own event loop)
#   full scroll 5.16 s before, 4.12 s after (0.80x); first screen 11.6 s and 11.9 s (the same: the
#   folder's listing, done on the UI thread in both, dominates; fusefat answers each name in time linear
#   in the folder's size, so 2,000 recordings take minutes to list).
#
# usage: bench/filelist-bench.sh [BUILD_DIR] [OTHER_BUILD_DIR] [N]   (default build/relwithdebinfo, -, 2000)
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/relwithdebinfo}
other=${2:--}
count=${3:-2000}
for tool in fusefat mkfs.vfat mcopy strace; do
    command -v "$tool" >/dev/null || { echo "no $tool" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tq9-filelist-bench.XXXXXX")
cleanup() { fusermount -u "$work/card" 2>/dev/null || umount "$work/card" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT INT TERM
mkdir -p "$work/card" "$work/stage"

# The folder is written into the image with mtools (quick, no mount), then the image is mounted with fusefat.
mkfs.vfat -C -n TQ9BENCH "$work/card.img" $((64 * 1024)) >/dev/null
head -c 2048 /dev/urandom > "$work/stage/clip"
printf '\0\0\0\075' > "$work/stage/mrk"
head -c 5238 /dev/zero > "$work/stage/thm"
mkdir -p "$work/stage/TQ9_0001"
: > "$work/stage/.TQ-9_SD.PRM"
i=1
while [ "$i" -le "$count" ]; do
    name=$(printf 'CLIP%04d' "$i")
    ln "$work/stage/clip" "$work/stage/TQ9_0001/$name.MP4"
    ln "$work/stage/mrk" "$work/stage/TQ9_0001/$name.MRK"
    ln "$work/stage/thm" "$work/stage/TQ9_0001/$name.THM"
    i=$((i + 1))
done
mmd -i "$work/card.img" ::/TQ-9
mcopy -i "$work/card.img" -s "$work/stage/.TQ-9_SD.PRM" "$work/stage/TQ9_0001" ::/TQ-9/
folder=$work/card/TQ-9/TQ9_0001
fusefat -o rw+ "$work/card.img" "$work/card" >/dev/null

now() { date +%s%N; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / (b > 0 ? b : 1) }'; }
measure() {
    bin=$1/bin/bench_filelist
    [ -x "$bin" ] || { echo "no $bin; build the bench_filelist target first" >&2; return 1; }
    t0=$(now); ls -l "$folder" >/dev/null; t1=$(now)
    lsms=$(( (t1 - t0) / 1000000 ))
    out=$(QT_QPA_PLATFORM=offscreen "$bin" "$work/card" "$folder")
    first=$(echo "$out" | awk '{ print $4 }'); scroll=$(echo "$out" | awk '{ print $6 }')
    # The UI thread is the process's first thread: its trace file has the process id as suffix.
    rm -f "$work"/trace.*
    QT_QPA_PLATFORM=offscreen strace -ff -qq -e trace=%file,%desc -o "$work/trace" "$bin" "$work/card" "$folder" >/dev/null
    main=$(ls "$work"/trace.* | sort -t. -k2 -n | head -1)
    calls=$(awk '/tq9-bench-scroll-begin/ { on = 1; next } /tq9-bench-scroll-end/ { on = 0 } on { n++ } END { print n + 0 }' "$main")
    # A handful is worth seeing (an eventfd write is Qt waking its own loop, not the file system).
    if [ "$calls" -gt 0 ] && [ "$calls" -le 5 ]; then
        awk '/tq9-bench-scroll-begin/ { on = 1; next } /tq9-bench-scroll-end/ { on = 0 } on' "$main" | sed 's/^/  UI thread: /'
    fi
    echo "$2: $(echo "$out" | awk '{ print $2 }') rows; first screen ${first} ms ($(ratio "$first" "$lsms")x ls -l), full scroll ${scroll} ms ($(ratio "$scroll" "$lsms")x ls -l) over $(echo "$out" | awk '{ print $8 }') pages; ls -l ${lsms} ms; UI-thread file-system calls while scrolling: $calls"
}
measure "$build" "this build"
[ "$other" = - ] || measure "$other" "other build"
