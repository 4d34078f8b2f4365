#!/bin/bash
# Throughput of `towngrow calibrate` on the classic coarse round: 3,125
# points (5 parameters x 5 values, bench/calibrate_space.json) x 4 runs x
# 60 steps on the built-in town of 200 x 200 cells, one control map (the
# model's own town after 60 steps from seed 1000). Times the whole process
# with farm-bench (wall and processor time; the machine may be shared, so
# both count):
#   bash bench/calibrate_throughput.sh [BUILD] [RUNS]
# BUILD: the build folder (default build), RUNS: farm-bench runs (default 1).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(cd "${1:-build}" && pwd)/app/towngrow
runs=${2:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$exe" run --rows 200 --cols 200 --steps 60 --seed 1000 --out obs --quiet --no-png --no-gif
cmd="rm -rf cal && exec '$exe' calibrate --start town --rows 200 --cols 200 \
--observed obs/final.asc:60 --space '$here/calibrate_space.json' --runs 4 --out cal --quiet"
farm-bench -n "$runs" --warmup 0 --timeout 900 -- sh -c "$cmd"
echo "points in the database: $(sqlite3 cal/calibration.sqlite 'SELECT COUNT(*) FROM points')"
head -2 cal/ranking.csv | cut -d, -f1-9
