#!/usr/bin/env bash
# The demo200 data set (../shared/data/demo200) through the whole path a
# user takes: `towngrow prepare` on examples/demo200/recipe.json, a run
# from the start map and background it wrote, and a short calibration
# (a grid search of 4 points, 2 runs each) on the control maps with the
# command line prepare printed; then the same with the scenario recipe
# (examples/demo200/recipe-scenario.json: roads scheduled at later steps,
# a suitability surface from the slope), whose calibrate line carries the
# schedule and the surface, over edge growth and housing's suitability
# weight. Skipped when the data set is not there.
#   bash .ci/demo200.sh [build/bin/towngrow]
set -euo pipefail
cd "$(dirname "$0")/.."
data=../shared/data/demo200
if [ ! -d "$data" ]; then
  echo "demo200: skipped ($data is not there)"
  exit 0
fi
exe=$(realpath "${1:-build/bin/towngrow}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$exe" prepare examples/demo200/recipe.json --out "$work/prepared" | tee "$work/prepare.txt"
calibrate=$(grep -A1 '^Calibrate with' "$work/prepare.txt" | tail -1)
case "$calibrate" in
  *"towngrow calibrate --start $work/prepared/start.tif --background"*"--observed"*) ;;
  *) echo "demo200: no calibrate command line in the summary"; exit 1 ;;
esac
"$exe" run --start "$work/prepared/start.tif" --background "$work/prepared/background.tif" \
  --steps 20 --no-gif --quiet --out "$work/run"
test -s "$work/run/final.tif"
cat > "$work/space.json" <<'JSON'
[{"id": 1, "field": "minStep", "values": [1, 3]},
 {"id": 3, "field": "neighborRadius", "values": [1, 2]}]
JSON
args=${calibrate#*towngrow calibrate }
args=${args/SPACE.json/$work/space.json}
eval "\"\$exe\" calibrate $args --runs 2 --quiet --out \"\$work/fit\""
test -s "$work/fit/ranking.csv"
echo "demo200: prepared, ran 20 steps and calibrated ($(($(wc -l < "$work/fit/ranking.csv") - 1)) points)"

"$exe" prepare examples/demo200/recipe-scenario.json --out "$work/scenario" > "$work/scenario.txt"
calibrate=$(grep -A1 '^Calibrate with' "$work/scenario.txt" | tail -1)
case "$calibrate" in
  *"--suitability $work/scenario/suitability.tif"*"--schedule $work/scenario/schedule.json"*) ;;
  *) echo "demo200: the scenario's calibrate line lacks the schedule or the surface"; exit 1 ;;
esac
cat > "$work/space-rules.json" <<'JSON'
[{"id": 3, "field": "edgePercent", "values": [0, 80]},
 {"id": 3, "field": "suitabilityWeight", "values": [0, 2]}]
JSON
args=${calibrate#*towngrow calibrate }
args=${args/SPACE.json/$work/space-rules.json}
eval "\"\$exe\" calibrate $args --runs 2 --quiet --out \"\$work/fit-rules\""
test "$(($(wc -l < "$work/fit-rules/ranking.csv") - 1))" = 4
echo "demo200: the scenario prepared (3 scheduled road layers, a suitability surface) and calibrated (4 points)"
