#!/usr/bin/env bash
# scripts/run builds only the targets it starts: asks ninja for every command that building those targets
# from nothing runs in this build folder, and fails when one of them compiles or links a test program or a
# benchmark. Argument: the build folder (configured with the tests, so the test targets exist to be left out).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
build=$1
eval "$(grep '^targets=' "$top/scripts/run")"
[ ${#targets[@]} -gt 0 ] || { echo "no targets= line in scripts/run" >&2; exit 1; }
commands=$(ninja -C "$build" -t commands "${targets[@]}")
# The closure must hold the programs themselves, or the check proves nothing.
for t in "${targets[@]}"; do
  grep -q -- "-o bin/$t\( \|$\)" <<<"$commands" || { echo "building ${targets[*]} does not link bin/$t" >&2; exit 1; }
done
strays=$(grep -oE -- '-o (bin/(test_|tq9-test-)[^ ]*|tests/[^ ]*|bench/[^ ]*)' <<<"$commands" | sort -u || true)
if [ -n "$strays" ]; then
  echo "scripts/run's build would also build:" >&2
  echo "$strays" >&2
  exit 1
fi
echo "building ${targets[*]} runs $(wc -l <<<"$commands") commands, none for a test program or benchmark"
