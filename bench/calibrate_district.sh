#!/usr/bin/env bash
# A calibration of a district of a real sample's size, as a new user runs
# it: CMA-ES over the 18 street-node and housing fields of
# docs/calibration.md (examples/demo200/space.json), 4 runs per point, the
# default options otherwise, on the district bench/district_maps.cpp makes
# from scratch (1575 x 2765 cells, about 48,000 developed cells at the start
# in 360 places along a road network, control maps after 10, 16 and 21
# steps with about 370,000, a river and a lake closed to growth).
#
#   bash bench/calibrate_district.sh BUILD [WORK] [EVALUATIONS...]
#
# BUILD: a build folder holding bin/towngrow and bench/district_maps.
# WORK (default: a temporary folder): where the maps and the calibrations
# go; maps already there are used again. EVALUATIONS (default: 200 1000):
# the budgets timed, each with the default runaway bound and with
# --runaway 0. TOWNGROW (environment) times another program on the same
# maps (an older build: without --runaway, it is run once per budget).
# Prints per calibration its wall and processor time, peak memory, best
# objective and how many points the runaway bound stopped, and the machine's
# load before it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
shift
work=${1:-}
[ $# -gt 0 ] && shift
budgets=("$@")
[ ${#budgets[@]} -gt 0 ] || budgets=(200 1000)
if [ -z "$work" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/maps"
exe=${TOWNGROW:-$build/bin/towngrow}
maps=$work/maps
if [ ! -e "$maps/urban-21.asc" ]; then
  "$build/bench/district_maps" "$maps"
fi
cp "$here/../examples/demo200/space.json" "$maps/space.json"

calibrate() {  # $1: label, $2: budget, then extra options
  local label=$1 budget=$2
  shift 2
  local out=$work/fit-$label-$budget
  rm -rf "$out"
  echo "== $label, $budget evaluations ($(uptime | sed 's/.*load/load/'))"
  /usr/bin/time -f "time: %e s wall, %U s user, %S s system, %M KiB peak" \
    "$exe" calibrate --quiet --start "$maps/start.asc" --background "$maps/background.asc" \
    --observed "$maps/urban-10.asc:10" --observed "$maps/urban-16.asc:16" \
    --observed "$maps/urban-21.asc:21" --space "$maps/space.json" --runs 4 --seed 1 \
    --method cmaes --evaluations "$budget" --threads 2 --out "$out" "$@" 2>&1 |
    grep -v '^$' || true
  python3 - "$out" <<'EOF'
import csv, json, sys
out = sys.argv[1]
best = json.load(open(out + "/best.json"))["run"]
rows = list(csv.DictReader(open(out + "/ranking.csv")))
stopped = [r for r in rows if int(r.get("stopped runs") or 0) > 0]
runs = sum(int(r["stopped runs"]) for r in stopped)
print(f"best objective {best.get('objectiveValue')}: {best['point']}")
print(f"points {len(rows)}, stopped {len(stopped)} ({runs} runs)")
EOF
}

for budget in "${budgets[@]}"; do
  if [ -n "${TOWNGROW:-}" ]; then
    calibrate given "$budget"
  else
    calibrate default "$budget"
    calibrate off "$budget" --runaway 0
  fi
done
