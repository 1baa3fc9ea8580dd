#!/usr/bin/env bash
# What the colour conversion costs an import: tq9 import of the same 1080p pictures once as BT.601 (passed
# through untouched) and once as BT.709 (matrix converted), and of the same 10-bit HEVC pictures as SDR BT.601
# and as PQ and HLG (tone-mapped), in the same rounds. The clips of a pair differ only in the colour
# description their bitstream carries (rewritten with the h264_metadata / hevc_metadata bitstream filters),
# so decoding and encoding cost the same and the difference is the conversion. Counted in CPU time (user +
# system of tq9, the best of the rounds): other work on the machine stretches wall times, not the work done.
#
#   bench/colour-bench.sh [--seconds N] [--rounds N] [BUILD_DIR]     (default 10 s, 3 rounds,
#                                                                      build/relwithdebinfo)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=10
rounds=3
while [ $# -gt 0 ]; do
    case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    *) break ;;
    esac
done
build=${1:-$here/build/relwithdebinfo}
tq9=$build/bin/tq9
[ -x "$tq9" ] || { echo "no $tq9; build the tq9 target first" >&2; exit 2; }

cache=$build/bench-cache/colour-$seconds
mkdir -p "$cache"
work=$(mktemp -d "${TMPDIR:-/tmp}/tq9-colour-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$work/tmp" "$work/config" "$work/root/TQ-9/TQ9_0001"
: > "$work/root/TQ-9/.TQ-9_SD.PRM"
card=$work/root/TQ-9/TQ9_0001

ff() { ffmpeg -nostdin -y -loglevel error "$@"; }
# make NAME ARGS...: a cached source.
make() {
    local name=$1
    shift
    [ -s "$cache/$name" ] || { ff "$@" "$cache/.part-$name" && mv "$cache/.part-$name" "$cache/$name"; }
}
src="testsrc2=size=1920x1080:rate=30000/1001:duration=$seconds"
say709="setparams=colorspace=bt709:color_trc=bt709:color_primaries=bt709:range=tv"
make hd-709.mp4 -f lavfi -i "$src" -vf format=yuv420p -c:v libx264 -preset veryfast \
    -colorspace bt709 -color_primaries bt709 -color_trc bt709
make hd-601.mp4 -i "$cache/hd-709.mp4" -c copy \
    -bsf:v h264_metadata=matrix_coefficients=6:colour_primaries=6:transfer_characteristics=6
make hdr-pq.mp4 -f lavfi -i "$src" -vf "$say709,zscale=t=linear:npl=203,format=gbrpf32le,zscale=p=2020:t=smpte2084:m=2020_ncl:r=limited:npl=203,format=yuv420p10le" \
    -c:v libx265 -preset ultrafast -x265-params log-level=error \
    -colorspace bt2020nc -color_primaries bt2020 -color_trc smpte2084
make hdr-hlg.mp4 -i "$cache/hdr-pq.mp4" -c copy -bsf:v hevc_metadata=transfer_characteristics=18
make hdr-601.mp4 -i "$cache/hdr-pq.mp4" -c copy \
    -bsf:v hevc_metadata=matrix_coefficients=6:colour_primaries=6:transfer_characteristics=6

# cpu NAME: CPU seconds of one import of that source (NTSC, letterboxed, one pass: the everyday setting).
cpu() {
    rm -f "$card"/*
    TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/config /usr/bin/time -f "%U %S" -o "$work/time" \
        "$tq9" --card-root "$work/root" import --ntsc --letterbox --one-pass "$card" "$cache/$1" >/dev/null 2>&1
    awk '{ printf "%.2f", $1 + $2 }' "$work/time"
}

names=(hd-601.mp4 hd-709.mp4 hdr-601.mp4 hdr-pq.mp4 hdr-hlg.mp4)
declare -A best
for ((round = 1; round <= rounds; ++round)); do
    # Each round in another order, so that neither side always runs first.
    order=("${names[@]}")
    [ $((round % 2)) -eq 0 ] && order=($(printf '%s\n' "${names[@]}" | tac))
    for n in "${order[@]}"; do
        t=$(cpu "$n")
        if [ -z "${best[$n]:-}" ] || awk -v a="$t" -v b="${best[$n]}" 'BEGIN { exit !(a < b) }'; then best[$n]=$t; fi
    done
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
echo "CPU seconds, best of $rounds rounds, ${seconds} s of 1080p each:"
for n in "${names[@]}"; do printf '  %-12s %s\n' "$n" "${best[$n]}"; done
echo "BT.709 matrix conversion: $(ratio "${best[hd-709.mp4]}" "${best[hd-601.mp4]}") x the untouched BT.601 import"
echo "PQ tone mapping:          $(ratio "${best[hdr-pq.mp4]}" "${best[hdr-601.mp4]}") x the same 10-bit pictures as SDR"
echo "HLG tone mapping:         $(ratio "${best[hdr-hlg.mp4]}" "${best[hdr-601.mp4]}") x the same 10-bit pictures as SDR"
