#!/usr/bin/env bash
# Builds everything with the address and undefined-behaviour sanitizers
# (every finding fatal) in its own folder and runs the whole test suite once.
#   .ci/sanitize.sh
# Environment: ASAN_BUILD (build folder, default build-asan). With CI=true it
# first installs what .ci/packages.txt lists, unless that is all there.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${ASAN_BUILD:-build-asan}
if [ "${CI:-}" = true ] && ! dpkg -s $(cat .ci/packages.txt) >/dev/null 2>&1; then
  apt-get update -qq && apt-get install -y -qq $(cat .ci/packages.txt) >/dev/null
fi
FLAGS="-O1 -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$FLAGS" \
  -DTOWNGROW_BUILD_BENCH=OFF -DTOWNGROW_BUILD_EXAMPLES=OFF -DTOWNGROW_PYTHON=OFF \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$BUILD" -j2 >"$BUILD/build.log" 2>&1 || { tail -n 50 "$BUILD/build.log"; exit 1; }
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/.ci/lsan.supp:print_suppressions=0
ctest --test-dir "$BUILD" --output-on-failure -j2 >"$BUILD/test.log" 2>&1 || { tail -n 200 "$BUILD/test.log"; exit 1; }
echo "sanitizer build: $(grep -E 'tests passed' "$BUILD/test.log")"
