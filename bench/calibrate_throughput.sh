#!/bin/bash
# Throughput of `towngrow calibrate` on the classic coarse round: 3,125
# points (5 parameters x 5 values, bench/calibrate_space.json) x 4 runs x
# 60 steps on the built-in town of 200 x 200 cells, one control map (the
# model's own town after 60 steps from seed 1000). Times the whole process
# with farm-bench (wall and processor time; the machine may be shared, so
# both count):
#   bash bench/calibrate_throughput.sh [BUILD] [RUNS] [OTHER_BUILD]
# BUILD: the build folder (default build), RUNS: farm-bench runs (default 1).
# OTHER_BUILD: another build (an older commit's, say) timed in turn with
# BUILD, run for run, for the ratio of the two on the same machine state.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# The program is bin/towngrow in a build (app/towngrow in older ones).
program() { if [ -x "$1/bin/towngrow" ]; then echo "$1/bin/towngrow"; else echo "$1/app/towngrow"; fi; }
exe=$(program "$(cd "${1:-build}" && pwd)")
runs=${2:-1}
other=${3:+$(program "$(cd "$3" && pwd)")}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$exe" run --rows 200 --cols 200 --steps 60 --seed 1000 --out obs --quiet --no-png --no-gif
calibrate() {
  echo "rm -rf $2 && exec '$1' calibrate --start town --rows 200 --cols 200 \
--observed obs/final.asc:60 --space '$here/calibrate_space.json' --runs 4 --out $2 --quiet"
}
if [ -n "$other" ]; then
  farm-bench -n "$runs" --warmup 0 --timeout 3600 --vs "sh -c \"$(calibrate "$other" cal-other)\"" \
    -- sh -c "$(calibrate "$exe" cal)"
else
  farm-bench -n "$runs" --warmup 0 --timeout 900 -- sh -c "$(calibrate "$exe" cal)"
fi
echo "points in the database: $(sqlite3 cal/calibration.sqlite 'SELECT COUNT(*) FROM points')"
head -2 cal/ranking.csv | cut -d, -f1-9
if [ -n "$other" ]; then
  if cmp -s cal/ranking.csv cal-other/ranking.csv; then
    echo "both builds rank every point alike"
  else
    echo "the two builds' rankings differ"
  fi
fi
