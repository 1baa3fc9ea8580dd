#!/bin/sh
# File-list benchmark on a slow card: a FAT image mounted with fusefat (FUSE, as a card reader through a
# userspace driver) holding one folder of N recordings (.MP4 with .MRK and .THM sidecars). Shows the
# folder in the list view (bench_filelist) with the event loop running, scrolls it top to bottom, and
# prints: the time to the first screen painted and the longest the UI thread was held meanwhile, the time
# of the whole scroll (each also as a ratio to `ls -l` of the same folder, measured just before), and the
# file-system calls the UI thread made while the folder was selected and listed and while scrolling
# (strace -ff on that thread alone; Qt's waits on its own event loop left out). With a second build folder
# the same figures come first for that build (before/after, same card, same run).
# Needs root (FUSE), fusefat, mkfs.vfat, mtools and strace.
#
# Measured on the shared 2-core machine (load ~10), 2,000 recordings (6,000 files) in one folder, this
# build (the listing read off the UI thread) against the one before (the listing on the UI thread):
#   UI thread held while the folder was selected and listed: 284.1 s before, at most 0.44 s after
#   (0.0016x; the window answers throughout)
#   UI-thread file-system calls while selecting: 112,323 before (100,030 on the card), 289 after (0 on
#   the card; the rest are Qt loading the MIME database and its image plugins at first use)
#   UI-thread file-system calls while scrolling 181 pages: 0 before, 0 after
#   first screen 284.1 s before, 273.4 s after (0.96x): both wait for the whole directory, each entry a
#   lookup that fusefat answers in time linear in the folder's size (ls -l of the folder took 59-106 s in
#   the same run)
#   full scroll 107.3 s before, 73.1 s after (0.68x), with no file-system call in either; the scroll
#   competes for the two cores with fusefat serving the rows' reads in the background.
# Before the list owned its rows (500 recordings): 12,123 UI-thread calls while scrolling, 0 after.
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
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 1) }'; }
# The UI thread's calls between two markers, Qt's waits on its own event loop left out (poll, and reads and
# writes of its eventfd, pipes and sockets): what is left touches the file system.
between() {
    awk -v from="tq9-bench-$2-begin" -v to="tq9-bench-$2-end" '
        index($0, from) { on = 1; next } index($0, to) { on = 0 } !on { next }
        /^(e?poll|ppoll|pselect6|select|epoll_wait|epoll_pwait)\(/ { next }
        /^[a-z0-9_]+\([0-9]+<(anon_inode|socket|pipe):/ { next }
        { print }' "$1"
}
measure() {
    bin=$1/bin/bench_filelist
    [ -x "$bin" ] || { echo "no $bin; build the bench_filelist target first" >&2; return 1; }
    t0=$(now); ls -l "$folder" >/dev/null; t1=$(now)
    lsms=$(( (t1 - t0) / 1000000 ))
    out=$(QT_QPA_PLATFORM=offscreen "$bin" "$work/card" "$folder")
    set -- "$1" "$2" $out
    rows=$4 first=$6 scroll=$8 pages=${10} stall=${12}
    # The UI thread is the process's first thread: its trace file has the process id as suffix.
    rm -f "$work"/trace.*
    QT_QPA_PLATFORM=offscreen strace -ff -qq -y -e trace=%file,%desc -o "$work/trace" "$bin" "$work/card" "$folder" >/dev/null
    main=$(ls "$work"/trace.* | sort -t. -k2 -n | head -1)
    selecting=$(between "$main" select | wc -l); oncard=$(between "$main" select | grep -c "$work/card" || true)
    scrolling=$(between "$main" scroll | wc -l)
    between "$main" select | grep "$work/card" | head -5 | sed 's/^/  UI thread, selecting: /'
    between "$main" scroll | head -5 | sed 's/^/  UI thread, scrolling: /'
    echo "$2: $rows rows; first screen ${first} ms ($(ratio "$first" "$lsms")x ls -l), UI thread held at most ${stall} ms meanwhile; full scroll ${scroll} ms ($(ratio "$scroll" "$lsms")x ls -l) over $pages pages; ls -l ${lsms} ms"
    echo "$2: UI-thread file-system calls while selecting the folder: $selecting ($oncard on the card); while scrolling: $scrolling"
}
# The build before first: both meet the same card in the same state.
[ "$other" = - ] || measure "$other" "other build"
measure "$build" "this build"
