#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, address and undefined-
# behaviour sanitizers) and runs each on its seed corpus and the inputs that
# once failed, two targets at a time, then feeds every text reader one line
# of 100 MB of digits.
#   .ci/fuzz.sh [seconds per target, default 30] [target ...]
# Environment: FUZZ_BUILD (build folder, default build-fuzz), FUZZ_WORK
# (scratch folder for the growing corpus and the logs, default a temporary
# one), FUZZ_JOBS (targets at a time, default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-30}
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -eq 0 ] && TARGETS=(ascii e00 float points format params)
BUILD=${FUZZ_BUILD:-build-fuzz}
JOBS=${FUZZ_JOBS:-2}
if [ -n "${FUZZ_WORK:-}" ]; then
  WORK=$FUZZ_WORK
  mkdir -p "$WORK"
else
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/towngrow-fuzz-XXXXXX")
fi

CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOWNGROW_BUILD_FUZZ=ON \
  -DTOWNGROW_BUILD_TESTS=OFF -DTOWNGROW_BUILD_EXAMPLES=OFF -DTOWNGROW_BUILD_APP=OFF >"$WORK/configure.log"
cmake --build "$BUILD" -j2 --target $(printf 'fuzz_%s ' "${TARGETS[@]}") >"$WORK/build.log"

run_target() {
  local t=$1 corpus="$WORK/corpus/$t"
  mkdir -p "$corpus" "$WORK/artifacts/$t"
  cp fuzz/corpus/"$t"/* "$corpus"/ 2>/dev/null || true
  [ -d fuzz/regressions/"$t" ] && cp fuzz/regressions/"$t"/* "$corpus"/ 2>/dev/null || true
  if "$BUILD/fuzz/fuzz_$t" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 \
      -max_len=16384 -print_final_stats=1 -artifact_prefix="$WORK/artifacts/$t/" "$corpus" \
      >"$WORK/$t.log" 2>&1; then
    echo "fuzz_$t: $(grep -m1 '^stat::number_of_executed_units' "$WORK/$t.log" | awk '{print $2}') runs, no finding"
  else
    echo "fuzz_$t: FINDING, see $WORK/$t.log and $WORK/artifacts/$t/"
    tail -n 30 "$WORK/$t.log"
    return 1
  fi
}

status=0
pids=()
names=()
for t in "${TARGETS[@]}"; do
  run_target "$t" &
  pids+=($!)
  names+=("$t")
  if [ ${#pids[@]} -ge "$JOBS" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done

# One line of 100 MB of digits (and a 100 MB float data file) per reader,
# run once each into one coverage (the instrumented readers take about a
# minute over it); no reader may hold the line (1 GB of memory at most, the
# JSON parser keeps a number's text while it reads it).
# FUZZ_BIG=0 skips them (CI: the uninstrumented readers get 100 MB lines in
# the test suite already).
[ "${FUZZ_BIG:-1}" = 1 ] && python3 fuzz/make_corpus.py --big "$WORK/big"
for t in "${TARGETS[@]}"; do
  [ "${FUZZ_BIG:-1}" = 1 ] || break
  [ -f "$WORK/big/$t/digits_100mb" ] || continue
  start=$(date +%s)
  if TOWNGROW_FUZZ_ONE_SHAPE=1 "$BUILD/fuzz/fuzz_$t" -rss_limit_mb=1024 -timeout=900 "$WORK/big/$t/digits_100mb" \
      >"$WORK/$t.big.log" 2>&1; then
    echo "fuzz_$t: 100 MB line read in $(( $(date +%s) - start )) s"
  else
    echo "fuzz_$t: FINDING on the 100 MB line, see $WORK/$t.big.log"
    tail -n 30 "$WORK/$t.big.log"
    status=1
  fi
done
rm -rf "$WORK/big"
# A scratch folder of our own goes when nothing was found.
[ $status -eq 0 ] && [ -z "${FUZZ_WORK:-}" ] && rm -rf "$WORK"
exit $status
