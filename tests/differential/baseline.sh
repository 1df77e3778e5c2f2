#!/usr/bin/env bash
# Builds the reference binary of the differential test: zel as it was at the
# commit named in tests/differential/BASELINE (the last one before the inside
# was rebuilt), from this repository's own history, against the MiniSat of
# the given build tree. Prints the binary's path.
#
# Usage: tests/differential/baseline.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
commit=$(tr -d ' \n' < "$root/tests/differential/BASELINE")
out="$build/baseline-$commit"
if [ ! -x "$out/zel" ]; then
  rm -rf "$out.src" "$out"
  mkdir -p "$out.src"
  git -C "$root" archive "$commit" | tar -x -C "$out.src"
  cmake -S "$out.src" -B "$out" -DCMAKE_BUILD_TYPE=Release -DZEL_TESTS=OFF \
    -DMINISAT_ROOT="$build/deps/minisat" > "$out.configure.log" 2>&1
  cmake --build "$out" --target zel -j "$(nproc)" > "$out.build.log" 2>&1
fi
echo "$out/zel"
