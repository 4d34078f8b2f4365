#!/usr/bin/env bash
# Makes the pictures of docs/ and the README again with the program itself:
#   bash docs/make-pictures.sh [build/bin/towngrow]
# grown-town.png and growth-chart.png: `towngrow run` (the built-in town,
# 200 x 200 cells, seed 1, 100 steps), its final.png and growth.png;
# big-grid-town.png: `towngrow run --rows 1000 --cols 1000 --steps 50`, its
# final.png (the view fits the town, --extent town);
# ensemble-housing.png and ensemble-chart.png: `towngrow ensemble --runs 100`,
# its housing.png and ensemble.png;
# calibrate-developed.png and calibrate-objective.png: the README's worked
# calibration (a past grown with known values, 80 points, 8 runs each), its
# best point's developed.png after 30 steps and one objective chart.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/bin/towngrow}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$exe" run --quiet --out "$work/run"
cp "$work/run/final.png" docs/grown-town.png
cp "$work/run/growth.png" docs/growth-chart.png
"$exe" run --rows 1000 --cols 1000 --steps 50 --no-gif --quiet --out "$work/big"
cp "$work/big/final.png" docs/big-grid-town.png
"$exe" ensemble --runs 100 --quiet --out "$work/ens"
cp "$work/ens/housing.png" docs/ensemble-housing.png
cp "$work/ens/ensemble.png" docs/ensemble-chart.png
cat > "$work/space.json" <<'EOF'
[{"id": 1, "field": "minStep", "values": [1, 3, 5, 7]},
 {"id": 3, "field": "neighborRadius", "min": 0, "max": 4, "step": 1},
 {"id": 3, "field": "streetPercent", "values": [0, 10, 20, 30]}]
EOF
echo '{"landUses": [{"id": 1, "minStep": 3}, {"id": 3, "neighborRadius": 2, "streetPercent": 10}]}' \
  > "$work/truth.json"
"$exe" run --params "$work/truth.json" --rows 80 --cols 80 --steps 30 --every 10 --format asc \
  --seed 1000 --quiet --out "$work/past"
"$exe" calibrate --start "$work/past/step-0000.asc" --observed "$work/past/step-0010.asc:10" \
  --observed "$work/past/step-0020.asc:20" --observed "$work/past/step-0030.asc:30" \
  --space "$work/space.json" --runs 8 --quiet --out "$work/fit"
cp "$work/fit/best/step-30/developed.png" docs/calibrate-developed.png
cp "$work/fit/objective-id3.neighborRadius.png" docs/calibrate-objective.png
echo "docs/: grown-town.png growth-chart.png big-grid-town.png ensemble-housing.png ensemble-chart.png calibrate-developed.png calibrate-objective.png"
