#!/usr/bin/env bash
# Configures and builds the fuzz targets into build/fuzz with clang (TQ9_FUZZ=ON; nothing else of the
# project is built there). Prints the build folder. Extra arguments are build targets (default: the fuzz
# targets).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir="$top/build/fuzz"
if [ ! -f "$dir/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
    -DTQ9_FUZZ=ON -DTQ9_GUI=OFF -DTQ9_TESTS=OFF -DTQ9_BENCH=OFF >&2
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_journal fuzz_sidecars fuzz_heif fuzz_png fuzz_probe fuzz_names)
args=()
for t in "${targets[@]}"; do args+=(--target "$t"); done
cmake --build "$dir" -j "$(nproc)" "${args[@]}" >&2
echo "$dir"
