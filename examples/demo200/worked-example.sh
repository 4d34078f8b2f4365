#!/usr/bin/env bash
# The demo200 worked example from real layers to a projection:
#   1. `towngrow prepare` on recipe.json: the 1930 start, the background
#      (nothing on water) and the control maps of 1950, 1970 and 1990;
#   2. `towngrow calibrate` on 1950 and 1970 with 1990 held out
#      (`--validate`), CMA-ES over the 18 fields of space.json, 4 runs a
#      point, the prepared class file (the urban extent is one class);
#   3. `towngrow ensemble` with the best point from 1930 to 2030 (100 steps,
#      25 runs): its probability maps and report.
# Needs ../shared/data/demo200 (the recipe's paths point there).
#   bash examples/demo200/worked-example.sh [build/bin/towngrow] [OUT] [EVALUATIONS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "${1:-build/bin/towngrow}")
out=$(realpath -m "${2:-demo200-example}")
evaluations=${3:-1000}
"$exe" prepare "$here/recipe.json" --out "$out/prepared"
p=$out/prepared
"$exe" calibrate --start "$p/start.tif" --background "$p/background.tif" \
  --observed "$p/observed-1950.tif:20" --observed "$p/observed-1970.tif:40" \
  --validate "$p/observed-1990.tif:60" --classes "$p/classes.json" \
  --space "$here/space.json" --method cmaes --evaluations "$evaluations" --population 40 \
  --runs 4 --objective fom.developed --out "$out/fit"
"$exe" ensemble --start "$p/start.tif" --background "$p/background.tif" \
  --params "$out/fit/best.json" --steps 100 --runs 25 --seed 1000001 --out "$out/2030"
