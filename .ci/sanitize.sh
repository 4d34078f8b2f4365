#!/usr/bin/env bash
# Builds everything with the address and undefined-behaviour sanitizers
# (every finding fatal) in its own folder and runs the whole test suite once.
#   .ci/sanitize.sh            # build folder build-asan
# Environment: ASAN_BUILD (build folder). With CI=true it first installs the
# packages of .ci/packages.txt, as the main CI step does.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${ASAN_BUILD:-build-asan}
if [ "${CI:-}" = true ]; then
  apt-get update >/dev/null && apt-get install -y $(cat .ci/packages.txt) >/dev/null
fi
FLAGS="-O1 -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$FLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$BUILD" -j2 >"$BUILD.log" 2>&1 || { tail -n 50 "$BUILD.log"; exit 1; }
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$BUILD" --output-on-failure -j2 | tail -n 25
