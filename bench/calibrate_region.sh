#!/bin/bash
# Evaluations per minute of a calibration on the 4000 x 4000 region and the
# 200 x 200 town (bench/bench_calibrate_region.cpp), this build beside an
# older one, run in turn:
#   bash bench/calibrate_region.sh BUILD OLD_BUILD OLD_COMMIT [ROUNDS]
# BUILD, OLD_BUILD: build folders holding libtowngrow.a; OLD_COMMIT: the
# commit OLD_BUILD was built from (its public headers are taken from git).
# The benchmark uses only the public calibration surface, so it builds
# against the older library as it is. ROUNDS (default 3): old, then new,
# that many times. Equal "check" counters mean both ranked on equal
# statistics.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
new=$(cd "$1" && pwd)
old=$(cd "$2" && pwd)
commit=$3
rounds=${4:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git -C "$here/.." archive "$commit" include | tar -x -C "$work"
g++ -std=c++17 -O3 -DNDEBUG -I"$work/include" -I"$old/include" -I"$here" \
  "$here/bench_calibrate_region.cpp" "$old/libtowngrow.a" -lbenchmark -lpthread \
  -o "$work/old_bench"
for i in $(seq "$rounds"); do
  echo "== old $i"
  "$work/old_bench" 2>/dev/null | grep BM_
  echo "== new $i"
  "$new/bench/bench_calibrate_region" 2>/dev/null | grep BM_
done
