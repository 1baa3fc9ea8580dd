#!/usr/bin/env bash
# A longer hunt with every fuzz target: bench/fuzz.sh [SECONDS per target, default 600] [TARGET...].
# New inputs stay in build/fuzz/fuzz-corpus/<target>; a crasher lands in build/fuzz/fuzz-found/<target>/:
# keep it by copying it into fuzz/regressions/<target>/, where every later run (scripts/test too) replays it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
shift || true
dir=$("$top/fuzz/build.sh")
filter="fuzz\\."
[ $# -gt 0 ] && filter="fuzz\\.($(IFS='|'; echo "$*"))\$"
cd "$dir"
TQ9_FUZZ_SECONDS=$seconds ctest -L fuzz -R "$filter" -V --timeout $((seconds + 120)) 2>&1 |
  grep -E 'stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added|Test #|ERROR|SUMMARY' || true
find "$dir/fuzz-found" -type f -printf 'found: %p\n'
