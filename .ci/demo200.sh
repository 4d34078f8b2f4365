#!/usr/bin/env bash
# The demo200 data set (../shared/data/demo200) through the whole path a
# user takes: `towngrow prepare` on examples/demo200/recipe.json, a run
# from the start map and background it wrote, and a short calibration
# (a grid search of 4 points, 2 runs each) on the control maps with the
# command line prepare printed. Skipped when the data set is not there.
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
