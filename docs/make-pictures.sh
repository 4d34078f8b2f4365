#!/usr/bin/env bash
# Makes the pictures of docs/ and the README again with the program itself:
#   bash docs/make-pictures.sh [build/app/towngrow]
# grown-town.png and growth-chart.png: `towngrow run` (the built-in town,
# 200 x 200 cells, seed 1, 100 steps), its final.png and growth.png;
# big-grid-town.png: `towngrow run --rows 1000 --cols 1000 --steps 50`, its
# final.png (the view fits the town, --extent town);
# ensemble-housing.png and ensemble-chart.png: `towngrow ensemble --runs 100`,
# its housing.png and ensemble.png.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/app/towngrow}")
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
echo "docs/: grown-town.png growth-chart.png big-grid-town.png ensemble-housing.png ensemble-chart.png"
