#!/usr/bin/env bash
# The demo200 worked example from real layers to a projection:
#   1. `towngrow prepare` on recipe-scenario.json: the 1930 start, the roads
#      of 1950, 1970 and 1990 scheduled at steps 20, 40 and 60, a suitability
#      surface from the slope, the background (nothing on water) and the
#      control maps of 1950, 1970 and 1990;
#   2. `towngrow calibrate` on 1950 and 1970 with 1990 held out
#      (`--validate`), CMA-ES over the 30 fields of space-rules.json (the 18
#      of the street-driven rules and those beyond them), 4 runs a point,
#      the prepared class file (the urban extent is one class), and the
#      ages held over the projection's 100 steps (`--horizon 100
#      --hold-ages`: no cell of any point is given up before 2030, which no
#      control map could tell);
#   3. `towngrow ensemble` with the best point from 1930 to 2030 (100 steps,
#      25 runs) under the same schedule and surface: its probability maps
#      and report.
# Reads the demo200 layers from ../shared/data/demo200 beside the
# repository (where the recipe's paths point), or from the folder DEMO200
# names (the recipe is then copied into OUT with its paths pointing there).
#   [DEMO200=FOLDER] bash examples/demo200/worked-example.sh [build/bin/towngrow] [OUT] [EVALUATIONS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "${1:-build/bin/towngrow}")
out=$(realpath -m "${2:-demo200-example}")
evaluations=${3:-1000}
recipe=$here/recipe-scenario.json
if [ -n "${DEMO200:-}" ]; then
  mkdir -p "$out"
  sed "s#../../../shared/data/demo200#$(realpath "$DEMO200")#g" "$recipe" > "$out/recipe-scenario.json"
  recipe=$out/recipe-scenario.json
fi
"$exe" prepare "$recipe" --out "$out/prepared"
p=$out/prepared
scenario=(--start "$p/start.tif" --background "$p/background.tif"
          --suitability "$p/suitability.tif" --schedule "$p/schedule.json")
"$exe" calibrate "${scenario[@]}" \
  --observed "$p/observed-1950.tif:20" --observed "$p/observed-1970.tif:40" \
  --validate "$p/observed-1990.tif:60" --classes "$p/classes.json" \
  --space "$here/space-rules.json" --method cmaes --evaluations "$evaluations" \
  --runs 4 --seed 11 --horizon 100 --hold-ages --out "$out/fit"
"$exe" ensemble "${scenario[@]}" --params "$out/fit/best.json" --steps 100 --runs 25 \
  --seed 1001 --out "$out/2030"
