#!/bin/sh
# Export benchmark: tq9 export of a device recording (MPEG-4 Part 2 + MP3 in MP4, 720x480 at 29.97) against
# the ffmpeg tool writing the same WMV (wmv2 at 6000k, wmav2 at 128k), measured in the same run. Prints the
# wall-time ratio of a 30 s recording (best of two rounds each), and the peak memory of a 10-minute
# recording for both, with tq9's resident memory sampled at each quarter of its run to show it stays flat.
#
# usage: bench/export-bench.sh [BUILD_DIR] [LONG_SECONDS]   (default build/relwithdebinfo, 600)
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/relwithdebinfo}
long=${2:-600}
tq9=$build/bin/tq9
[ -x "$tq9" ] || { echo "no $tq9; build the tq9 target first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tq9-export-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$work/tmp" "$work/out" "$work/ref"

ff() { ffmpeg -nostdin -y -loglevel error "$@"; }
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
less() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

# What the device records (the form tq9 import writes).
device() {
    ff -f lavfi -i "testsrc2=size=720x480:rate=30000/1001:duration=$1" -f lavfi -i "sine=frequency=440:duration=$1" \
       -c:v mpeg4 -flags +ildct+ilme -top 1 -b:v 5000k -c:a libmp3lame -b:a 128k -ac 2 -ar 48000 -shortest "$2"
}
device 30 "$work/clip.mp4"
device "$long" "$work/long.mp4"

reference() { ff -i "$1" -c:v wmv2 -b:v 6000k -c:a wmav2 -b:a 128k "$work/ref/$(basename "$1" .mp4).wmv"; }
exportRun() {
    rm -f "$work/out"/*
    TMPDIR=$work/tmp "$tq9" export --to "$work/out" "$1" >/dev/null 2>"$work/export.log"
}

best_ref=; best_exp=
for round in 1 2; do
    t0=$(now); reference "$work/clip.mp4"; t1=$(now)
    exportRun "$work/clip.mp4"; t2=$(now)
    r=$(elapsed "$t0" "$t1"); e=$(elapsed "$t1" "$t2")
    if [ -z "$best_ref" ] || less "$r" "$best_ref"; then best_ref=$r; fi
    if [ -z "$best_exp" ] || less "$e" "$best_exp"; then best_exp=$e; fi
done
echo "30 s recording: tq9 export ${best_exp} s, ffmpeg ${best_ref} s, ratio $(awk -v a="$best_exp" -v b="$best_ref" 'BEGIN { printf "%.2f", a / b }')"
ffprobe -v error -show_entries stream=codec_name,width,height,bit_rate,sample_rate,channels -of csv=p=0 \
    "$work/out/clip.wmv" | sed 's/^/  tq9 output: /'

# Peak memory of the long recording; tq9's resident set sampled every second.
peak() { awk '/Maximum resident/ { print $NF }' "$1"; }
/usr/bin/time -v ffmpeg -nostdin -y -loglevel error -i "$work/long.mp4" -c:v wmv2 -b:v 6000k -c:a wmav2 -b:a 128k \
    "$work/ref/long.wmv" 2>"$work/ref.time"
rm -f "$work/out"/*
TMPDIR=$work/tmp /usr/bin/time -v "$tq9" export --to "$work/out" "$work/long.mp4" >/dev/null 2>"$work/exp.time" &
timer=$!
sleep 0.5
pid=$(pgrep -P "$timer" -x tq9 || true)
: > "$work/rss"
while [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; do
    awk '/VmRSS/ { print $2 }' "/proc/$pid/status" 2>/dev/null >> "$work/rss" || true
    sleep 1
done
wait "$timer"
ref_kb=$(peak "$work/ref.time"); exp_kb=$(peak "$work/exp.time")
quarters=$(awk '{ v[NR] = $1 } END { n = NR; if (n < 4) { print "too short"; exit }
    printf "%d %d %d %d MiB", v[int(n/4)]/1024, v[int(n/2)]/1024, v[int(3*n/4)]/1024, v[n]/1024 }' "$work/rss")
echo "${long} s recording: peak memory tq9 export $((exp_kb / 1024)) MiB, ffmpeg $((ref_kb / 1024)) MiB, ratio $(awk -v a="$exp_kb" -v b="$ref_kb" 'BEGIN { printf "%.2f", a / b }'); tq9 resident at each quarter: $quarters"
