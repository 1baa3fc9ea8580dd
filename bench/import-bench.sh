#!/bin/sh
# Import benchmark: tq9 import of a batch (three 20 s clips, a song, two photos) against the same work done
# with the ffmpeg tool plus cp, measured in the same run. Prints the ratio and the job's own overhead
# (probing, thumbnails, markers, final move) as a share of its conversion time, from the debug log.
#
# usage: bench/import-bench.sh [BUILD_DIR]   (default build/importer; needs bin/tq9 built)
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/importer}
tq9=$build/bin/tq9
[ -x "$tq9" ] || { echo "no $tq9; build the tq9 target first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tq9-import-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$work/pc" "$work/tmp" "$work/config" "$work/root/TQ-9/TQ9_0001" "$work/ref"
: > "$work/root/TQ-9/.TQ-9_SD.PRM"
card=$work/root/TQ-9/TQ9_0001

ff() { ffmpeg -nostdin -y -loglevel error "$@"; }
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
less() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

# The batch: PC-style sources.
for n in 1 2 3; do
    ff -f lavfi -i "testsrc2=size=1280x720:rate=30:duration=20" -f lavfi -i "sine=frequency=$((300 + n * 100)):duration=20" \
       -c:v libx264 -preset veryfast -c:a aac -shortest "$work/pc/clip$n.mov"
done
ff -f lavfi -i "sine=frequency=523:duration=60" -ac 2 "$work/pc/song.wav"
ff -f lavfi -i "testsrc2=size=1920x1080" -frames:v 1 "$work/pc/photo1.jpg"
ff -f lavfi -i "mandelbrot=size=1920x1080" -frames:v 1 "$work/pc/photo2.png"

# Reference: the same conversions with the ffmpeg tool, then cp onto the card folder.
reference() {
    out=$work/ref
    for n in 1 2 3; do
        ff -i "$work/pc/clip$n.mov" -c:a libmp3lame -b:a 128k -ac 2 -ar 48000 \
           -c:v mpeg4 -flags +ildct+ilme -top 1 -b:v 5000k -bt 1000k -vf "scale=720:480,fps=30000/1001" \
           -f mp4 "$out/clip$n.mp4"
        ff -ss 5 -i "$work/pc/clip$n.mov" -vf scale=48:36 -frames:v 1 -an -c:v bmp -f image2 "$out/clip$n.thm"
    done
    ff -i "$work/pc/song.wav" -c:a libmp3lame -b:a 128k -ac 2 -ar 48000 -vn -f mp3 "$out/song.mp3"
    for p in photo1.jpg photo2.png; do
        b=${p%.*}
        ff -i "$work/pc/$p" -vf "scale=720:405,pad=720:480:0:37:black" -q:v 4 "$out/$b.jpg"
        ff -i "$work/pc/$p" -vf "scale=48:27,pad=48:36:0:4:black" -c:v bmp -f image2 "$out/$b.thm"
    done
    mkdir -p "$work/refcard"
    cp "$out"/* "$work/refcard/"
    sync -f "$work/refcard"
}

importRun() {
    rm -f "$card"/*
    TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/config TQ9_DEBUG=1 \
        "$tq9" --card-root "$work/root" import --ntsc --no-letterbox --one-pass "$card" "$work/pc"/* \
        2> "$work/import.log" >/dev/null
    sync -f "$card"
}

best_ref=; best_imp=
for round in 1 2; do
    rm -rf "$work/ref"/* "$work/refcard"
    t0=$(now); reference; t1=$(now)
    importRun; t2=$(now)
    r=$(elapsed "$t0" "$t1"); i=$(elapsed "$t1" "$t2")
    if [ -z "$best_ref" ] || less "$r" "$best_ref"; then best_ref=$r; fi
    if [ -z "$best_imp" ] || less "$i" "$best_imp"; then best_imp=$i; cp "$work/import.log" "$work/best.log"; fi
done

files=$(ls "$card" | wc -l)
timing=$(grep 'import timing: probe' "$work/best.log" | tail -1)
move=$(grep -E 'import timing: (move|copy)' "$work/best.log" | tail -1 | sed 's/.*: \(move\|copy\) \([0-9]*\) ms/\2/')
probe=$(echo "$timing" | sed 's/.*probe \([0-9]*\) ms.*/\1/')
media=$(echo "$timing" | sed 's/.*media \([0-9]*\) ms.*/\1/')
thumbs=$(echo "$timing" | sed 's/.*thumbnails \([0-9]*\) ms.*/\1/')
markers=$(echo "$timing" | sed 's/.*markers \([0-9]*\) ms.*/\1/')
overhead=$((probe + thumbs + markers + move))

printf 'batch: 3 x 20 s 1280x720 H.264 clips, 60 s WAV song, 2 photos (1920x1080 JPEG, PNG); %s files on the card\n' "$files"
printf 'ffmpeg tool + cp : %.2f s\n' "$best_ref"
printf 'tq9 import       : %.2f s\n' "$best_imp"
printf 'ratio tq9/ref    : %s\n' "$(awk -v a="$best_imp" -v b="$best_ref" 'BEGIN { printf "%.2f", a / b }')"
printf 'job steps        : media %s ms, probe %s ms, thumbnails %s ms, markers %s ms, move %s ms\n' \
    "$media" "$probe" "$thumbs" "$markers" "$move"
printf 'overhead         : %s ms = %s%% of the conversion time\n' "$overhead" \
    "$(awk -v o="$overhead" -v m="$media" 'BEGIN { printf "%.1f", 100 * o / m }')"
