#!/usr/bin/env bash
# Remakes the seed corpus in fuzz/corpus/<target>/: the project's own writers (fuzz_make_seeds) for the
# journal, the sidecars, HEIC and PNG pictures and card names, the ffmpeg tool for the media seeds (a few KB
# each: short, small and low-rate, in the containers a probe meets most).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$("$top/fuzz/build.sh" fuzz_make_seeds)
corpus="$top/fuzz/corpus"
rm -rf "$corpus"
mkdir -p "$corpus/probe"
ASAN_OPTIONS=detect_leaks=0 "$dir/bin/fuzz_make_seeds" "$corpus" # the HEVC encoder keeps a little till exit
media() { ffmpeg -v error -y "${@:2}" "$corpus/probe/$1"; }
media tone.mp3 -f lavfi -i sine=duration=0.3 -ar 22050 -c:a libmp3lame -b:a 32k -write_xing 0 -f mp3
media tone.aac -f lavfi -i sine=duration=0.3 -ar 22050 -c:a aac -b:a 24k -f adts
media tone.wav -f lavfi -i sine=duration=0.1 -ar 8000 -f wav
media clip.mp4 -f lavfi -i testsrc=size=64x48:rate=5:duration=0.4 -f lavfi -i sine=duration=0.4 \
  -c:v mpeg4 -q:v 20 -c:a libmp3lame -ar 22050 -b:a 32k -f mp4
media clip.mkv -f lavfi -i testsrc=size=64x48:rate=5:duration=0.4 -c:v mpeg4 -q:v 20 -f matroska
media clip.ts -f lavfi -i testsrc=size=64x48:rate=5:duration=0.4 -c:v mpeg2video -q:v 20 -f mpegts
du -sh "$corpus"
