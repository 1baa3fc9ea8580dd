#!/usr/bin/env bash
# Every workload against its anchor, measured in the same run: for each, three rounds that alternate which
# side goes first, the median wall time of each side, the ratio tq9 / anchor (below 1.0: tq9 is faster),
# how busy each side kept the CPUs it may use (user + system time over wall time x CPUs, all rounds), the
# peak resident memory of each side (the largest single process of the anchor's commands), and for the
# exports the PSNR of each side's WMV against the recording. The load average at the end of each row
# says how far other programs skewed it. Under taskset the CPUs are the ones it allows:
#   taskset -c 0 bench/all-bench.sh --only export-noisy,export-clean     one CPU
#   taskset -c 0,1 bench/all-bench.sh --only export-noisy,export-clean   two
#
#   bench/all-bench.sh [--quick] [--only NAME[,NAME...]] [--before OTHER_BUILD_DIR] [BUILD_DIR]
#                                                                      (default build/relwithdebinfo)
# --before also runs another build's tq9 (a copy of its bin/ folder will do) in the same rounds, for a
# before/after comparison that the machine's load cannot skew.
#
# --quick (10 s 1080p, 4 s 4K, 5 s songs, 8 photos) takes about 10 minutes on a quiet 2-core machine, the
# first run a minute more for the sources; the full run 40-60 minutes.
#
# Workloads (the issue's sizes; --quick shortens them for a look on a busy machine):
#   1080p-1pass  60 s 1920x1080 29.97 H.264+AAC, NTSC letterbox, one pass      anchor: ffmpeg tool + cp
#   1080p-2pass  the same, two passes                                         anchor: ffmpeg tool, 2 passes
#   pal          the same source into the PAL frame                           anchor: ffmpeg tool + cp
#   4k           3840x2160 source (half the length), NTSC letterbox           anchor: ffmpeg tool + cp
#   batch        10 x 5 s 1280x720 clips in one import                        anchor: ffmpeg tool per clip
#   audio        20 x 30 s MP3 files (44.1 kHz)                                          anchor: ffmpeg tool per file
#   photos       30 x 12 MP JPEG photos                                       anchor: ImageMagick convert
#   export-noisy tq9 export of a 60 s device recording (720x480, noisy) to WMV  anchor: ffmpeg wmv2/wmav2
#   export-clean the same for a clean recording                              anchor: ffmpeg wmv2/wmav2
#   busy         1080p-1pass while two busy loops keep both cores busy        anchor: the same tool run
# Sources are synthesised once into BUILD_DIR/bench-cache.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
quick=0
only=
beforeTq9=
build=$here/build/relwithdebinfo
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=1 ;;
        --only) only=,$2,; shift ;;
        --before) beforeTq9=$2/bin/tq9; shift ;;
        *) build=$1 ;;
    esac
    shift
done
tq9=$build/bin/tq9
[ -x "$tq9" ] || { echo "no $tq9; build the tq9 target first" >&2; exit 2; }
[ -z "$beforeTq9" ] || [ -x "$beforeTq9" ] || { echo "no $beforeTq9" >&2; exit 2; }
command -v convert >/dev/null || { echo "ImageMagick's convert is needed for the photo anchor" >&2; exit 2; }

if [ $quick = 1 ]; then
    len=10; len4k=4; clips=10; clipLen=5; songs=20; songLen=5; photos=8
else
    len=60; len4k=30; clips=10; clipLen=5; songs=20; songLen=30; photos=30
fi
cache=$build/bench-cache/all-$len
work=$(mktemp -d "${TMPDIR:-/tmp}/tq9-all-bench.XXXXXX")
busyPids=()
cleanup() {
    for p in "${busyPids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
mkdir -p "$cache" "$work/tmp" "$work/config" "$work/root/TQ-9/TQ9_0001" "$work/ref" "$work/out"
: > "$work/root/TQ-9/.TQ-9_SD.PRM"
card=$work/root/TQ-9/TQ9_0001

ff() { ffmpeg -nostdin -y -loglevel error "$@"; }

# ---- sources (cached) ----
synth() { # name, ffmpeg arguments...
    local out=$cache/$1; shift
    [ -s "$out" ] || ff "$@" "$out"
}
sources() { # workload: makes (once) the sources it reads
    case $1 in
    export-noisy | export-clean) # what the device records: MPEG-4 Part 2 (interlaced DCT) + MP3 in MP4
        local vf=null
        [ "$1" = export-noisy ] && vf=noise=alls=24:allf=t+u
        synth "$1.mp4" -f lavfi -i "testsrc2=size=720x480:rate=30000/1001:duration=$len" \
            -f lavfi -i "sine=frequency=440:duration=$len" -vf "$vf" -c:v mpeg4 -flags +ildct+ilme -top 1 \
            -b:v 5000k -bt 1000k -c:a libmp3lame -b:a 128k -ac 2 -ar 48000 -shortest ;;
    1080p-1pass | 1080p-2pass | pal | busy)
        synth src1080.mp4 -f lavfi -i "testsrc2=size=1920x1080:rate=30000/1001:duration=$len" \
            -f lavfi -i "sine=frequency=440:duration=$len" -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -shortest ;;
    4k)
        synth src4k.mp4 -f lavfi -i "testsrc2=size=3840x2160:rate=30000/1001:duration=$len4k" \
            -f lavfi -i "sine=frequency=440:duration=$len4k" -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest ;;
    batch)
        mkdir -p "$cache/batch"
        for n in $(seq 1 $clips); do
            synth batch/clip$n.mp4 -f lavfi -i "testsrc2=size=1280x720:rate=30:duration=$clipLen" \
                -f lavfi -i "sine=frequency=$((200 + n * 50)):duration=$clipLen" -c:v libx264 -preset veryfast -pix_fmt yuv420p \
                -c:a aac -shortest
        done ;;
    audio)
        mkdir -p "$cache/songs"
        for n in $(seq 1 $songs); do
            synth songs/song$n.mp3 -f lavfi -i "sine=frequency=$((200 + n * 30)):duration=$songLen" -ac 2 -c:a libmp3lame -b:a 192k
        done ;;
    photos)
        mkdir -p "$cache/photos"
        for n in 1 2 3; do
            synth photos/base$n.jpg -f lavfi -i "testsrc2=size=4000x3000,hue=h=$((n * 60))" -frames:v 1 -q:v 3
        done
        for n in $(seq 1 $photos); do
            [ -s "$cache/photos/photo$n.jpg" ] || cp "$cache/photos/base$(( (n - 1) % 3 + 1 )).jpg" "$cache/photos/photo$n.jpg"
        done ;;
    esac
}

# The tool applies "-s" after "-vf", the library before it: the anchor scales inside its filter chain.
# ---- measuring: every process under /usr/bin/time; a side's wall and CPU times are the sums, its peak the
# largest ----
wall=0; peak=0; cpu=0
m() {
    /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$@" >/dev/null 2>"$work/err" || { head -5 "$work/err" >&2; : > "$work/failed"; }
    read -r w k u s < <(tail -1 "$work/time")
    wall=$(awk -v a="$wall" -v b="$w" 'BEGIN { print a + b }')
    cpu=$(awk -v a="$cpu" -v b="$u" -v c="$s" 'BEGIN { print a + b + c }')
    [ "$k" -gt "$peak" ] && peak=$k
    return 0
}
side() { # function name; prints "wall peakKb cpu"
    wall=0; peak=0; cpu=0
    rm -rf "$card"/* "$work/ref"/* "$work/out"/* "$work/tmp"/*
    "$1"
    [ -z "${keepWmv:-}" ] || cp "$work/out"/*.wmv "$keepWmv"
    sync -f "$work"
    echo "$wall $peak $cpu"
}
median3() { printf '%s\n' "$@" | sort -g | sed -n 2p; }

tq9import() { # options..., then files
    m env TMPDIR="$work/tmp" XDG_CONFIG_HOME="$work/config" "$tq9" --card-root "$work/root" import "$@"
}
device() { # source, output, ntsc|pal, extra ffmpeg arguments...
    local src=$1 out=$2 frame=$3; shift 3
    local h=480 r=30000/1001
    [ "$frame" = pal ] && { h=576; r=25; }
    m ffmpeg -nostdin -y -loglevel error -i "$src" -acodec libmp3lame -ab 128k -ac 2 -ar 48000 \
        -vcodec mpeg4 -flags +ildct+ilme -top 1 -b:v 5000k -bt 1000k -vsync 1 -r "$r" \
        -vf "scale=720:405,pad=720:$h:0:$(( (h - 405) / 2 )):black" -f mp4 "$@" "$out"
}
thumb() { # source, output
    m ffmpeg -nostdin -y -loglevel error -i "$1" -ss 5 -vf scale=48:27,pad=48:36:0:4:black -vframes 1 -an \
        -vcodec bmp -f image2 "$2"
}
place() { m cp "$work/ref"/* "$card/"; }

ours_1080p_1pass() { tq9import --ntsc --letterbox --one-pass "$card" "$cache/src1080.mp4"; }
anchor_1080p_1pass() { device "$cache/src1080.mp4" "$work/ref/src1080.mp4" ntsc; thumb "$cache/src1080.mp4" "$work/ref/src1080.thm"; place; }
ours_1080p_2pass() { tq9import --ntsc --letterbox --two-pass "$card" "$cache/src1080.mp4"; }
anchor_1080p_2pass() {
    device "$cache/src1080.mp4" "$work/ref/src1080.mp4" ntsc -pass 1 -passlogfile "$work/ref/pass"
    device "$cache/src1080.mp4" "$work/ref/src1080.mp4" ntsc -pass 2 -passlogfile "$work/ref/pass"
    rm -f "$work/ref"/pass*
    thumb "$cache/src1080.mp4" "$work/ref/src1080.thm"; place
}
ours_pal() { tq9import --pal --letterbox --one-pass "$card" "$cache/src1080.mp4"; }
anchor_pal() { device "$cache/src1080.mp4" "$work/ref/src1080.mp4" pal; thumb "$cache/src1080.mp4" "$work/ref/src1080.thm"; place; }
ours_4k() { tq9import --ntsc --letterbox --one-pass "$card" "$cache/src4k.mp4"; }
anchor_4k() { device "$cache/src4k.mp4" "$work/ref/src4k.mp4" ntsc; thumb "$cache/src4k.mp4" "$work/ref/src4k.thm"; place; }
ours_batch() { tq9import --ntsc --letterbox --one-pass "$card" "$cache"/batch/clip*.mp4; }
anchor_batch() {
    for f in "$cache"/batch/clip*.mp4; do
        b=$(basename "$f" .mp4)
        device "$f" "$work/ref/$b.mp4" ntsc; thumb "$f" "$work/ref/$b.thm"
    done
    place
}
ours_audio() { tq9import --ntsc --letterbox --one-pass "$card" "$cache"/songs/song*.mp3; }
anchor_audio() {
    for f in "$cache"/songs/song*.mp3; do
        m ffmpeg -nostdin -y -loglevel error -i "$f" -acodec libmp3lame -ab 128k -ac 2 -ar 48000 -vn -f mp3 \
            "$work/ref/$(basename "$f" .m4a).mp3"
    done
    place
}
ours_photos() { tq9import --ntsc --letterbox --one-pass "$card" "$cache"/photos/photo*.jpg; }
anchor_photos() {
    for f in "$cache"/photos/photo*.jpg; do
        b=$(basename "$f" .jpg)
        m convert "$f" -resize '720x480!' -quality 80 "$work/ref/$b.jpg"
        m convert "$f" -resize '48x36!' "BMP3:$work/ref/$b.thm"
    done
    place
}
recording=$work/recording.mp4
ours_export() { m env TMPDIR="$work/tmp" XDG_CONFIG_HOME="$work/config" "$tq9" export --to "$work/out" "$recording"; }
anchor_export() {
    m ffmpeg -nostdin -y -loglevel error -i "$recording" -c:v wmv2 -b:v 6000k -c:a wmav2 -b:a 128k "$work/out/ref.wmv"
}
ours_export_noisy() { ours_export; }
anchor_export_noisy() { anchor_export; }
ours_export_clean() { ours_export; }
anchor_export_clean() { anchor_export; }
# PSNR of a WMV against the recording, picture by picture (ASF keeps times in milliseconds, so the pictures
# are paired by number, not by time).
psnr() {
    ffmpeg -nostdin -i "$1" -i "$recording" -lavfi \
        "[0:v]settb=1/30,setpts=N[a];[1:v]settb=1/30,setpts=N[b];[a][b]psnr" -f null - 2>&1 |
        sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p' | tail -1
}
ours_busy() { ours_1080p_1pass; }
anchor_busy() { anchor_1080p_1pass; }

startBusy() {
    for _ in 1 2; do
        sh -c 'while :; do :; done' &
        busyPids+=($!)
    done
}
stopBusy() {
    for p in "${busyPids[@]}"; do kill "$p" 2>/dev/null || true; done
    busyPids=()
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

echo "tq9 all-workload benchmark ($([ $quick = 1 ] && echo quick || echo full); $(nproc) cores; load: $(cut -d' ' -f1-3 /proc/loadavg))"
header=$(printf '%-12s %9s %9s %7s %8s %8s %10s %10s %7s' workload "tq9 s" "anchor s" ratio "tq9 cpu" "anc cpu" \
    "tq9 MB" "anchor MB" "mem")
[ -z "$beforeTq9" ] || header+=$(printf ' %9s %7s %7s' "before s" ratio mem)
header+=$(printf ' %6s %13s' load "psnr tq9/anc")
echo "$header"
run() { # name
    local name=$1 fn=${1//-/_}
    [ -z "$only" ] || [[ $only == *,$name,* ]] || return 0
    sources "$name"
    [[ $name == export-* ]] && cp "$cache/$name.mp4" "$recording"
    [ "$name" = busy ] && startBusy
    rm -f "$work/failed"
    local sides=(anchor ours) order r s k sw sk sc
    [ -n "$beforeTq9" ] && sides+=(before)
    local -A walls=() peaks=() cpus=() wallSums=()
    for r in 1 2 3; do
        order=("${sides[@]}")
        [ $((r % 2)) = 0 ] && order=($(printf '%s\n' "${sides[@]}" | tac))
        for k in "${order[@]}"; do
            case $k in
                anchor) s=$(side "anchor_$fn") ;;
                ours) s=$(side "ours_$fn") ;;
                before) s=$(tq9=$beforeTq9 side "ours_$fn") ;;
            esac
            read -r sw sk sc <<< "$s"
            walls[$k]+=" $sw"
            wallSums[$k]=$(awk -v a="${wallSums[$k]:-0}" -v b="$sw" 'BEGIN { print a + b }')
            cpus[$k]=$(awk -v a="${cpus[$k]:-0}" -v b="$sc" 'BEGIN { print a + b }')
            [ "$sk" -gt "${peaks[$k]:-0}" ] && peaks[$k]=$sk
        done
    done
    [ "$name" = busy ] && stopBusy
    [ -e "$work/failed" ] && { printf '%-12s FAILED (see above)\n' "$name"; return 0; }
    local o a b line
    # shellcheck disable=SC2086 # the three times, split
    o=$(median3 ${walls[ours]}); a=$(median3 ${walls[anchor]})
    mb() { awk -v k="$1" 'BEGIN { print k / 1024 }'; }
    cpuShare() { awk -v c="$1" -v w="$2" -v n="$(nproc)" 'BEGIN { if (w > 0) printf "%d%%", 100 * c / (w * n); else printf "-" }'; }
    line=$(printf '%-12s %9.2f %9.2f %7s %8s %8s %10.1f %10.1f %7s' "$name" "$o" "$a" "$(ratio "$o" "$a")" \
        "$(cpuShare "${cpus[ours]}" "${wallSums[ours]}")" "$(cpuShare "${cpus[anchor]}" "${wallSums[anchor]}")" \
        "$(mb "${peaks[ours]}")" "$(mb "${peaks[anchor]}")" "$(ratio "${peaks[ours]}" "${peaks[anchor]}")")
    if [ -n "$beforeTq9" ]; then
        # shellcheck disable=SC2086
        b=$(median3 ${walls[before]})
        line+=$(printf ' %9.2f %7s %7s' "$b" "$(ratio "$b" "$a")" "$(ratio "${peaks[before]}" "${peaks[anchor]}")")
    fi
    line+=$(printf ' %6s' "$(cut -d' ' -f1 /proc/loadavg)")
    if [[ $name == export-* ]]; then
        # One more run of each side, kept for the PSNR.
        keepWmv=$work/ours.wmv side ours_export >/dev/null
        keepWmv=$work/anchor.wmv side anchor_export >/dev/null
        line+=$(printf ' %13s' "$(psnr "$work/ours.wmv")/$(psnr "$work/anchor.wmv")")
    fi
    echo "$line"
}
for w in 1080p-1pass 1080p-2pass pal 4k batch audio photos export-noisy export-clean busy; do
    run "$w"
done
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg); took $SECONDS s"
