#!/usr/bin/env bash
# Makes the pictures of the README's sections on scenarios and the growth
# rules beyond streets, with the program itself:
#   bash docs/make-scenario-pictures.sh [build/bin/towngrow]
# scenario-road-before.png, scenario-road-after.png: the built-in town on
# 100 x 240 cells, a road east of it opening at step 20 (a schedule entry:
# street vertices with street nodes at both ends, and three houses at its
# far end), the town at step 19 and at step 45;
# rules-<rule>.png: the built-in town on 100 x 100 cells after 50 steps
# with the street-driven rules slowed (street nodes' and housing's policy
# 30 %) and one rule beyond streets on: none, spontaneous settlement with
# new centres, edge growth weighed by the place's share of its window,
# road trips.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/bin/towngrow}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The road: row 60, columns 95 to 150, nodes at its ends, houses at the far
# end; every other cell no-data (-1).
/usr/bin/python3 - "$work/road.asc" <<'PY'
import sys
rows, cols = 100, 240
cells = [[-1] * cols for _ in range(rows)]
for c in range(120, 231):
    cells[50][c] = 1 if c in (120, 230) else 2
for r, c in ((49, 229), (49, 230), (51, 230)):
    cells[r][c] = 3
with open(sys.argv[1], "w") as f:
    f.write(f"ncols {cols}\nnrows {rows}\nxllcorner 0\nyllcorner 0\ncellsize 30\nNODATA_value -1\n")
    for row in cells:
        f.write(" ".join(map(str, row)) + "\n")
PY
echo '[{"step": 20, "layers": ["road.asc"]}]' > "$work/schedule.json"
"$exe" run --rows 100 --cols 240 --steps 45 --seed 3 --schedule "$work/schedule.json" \
  --every 1 --format asc --no-gif --quiet --extent full --out "$work/road"
"$exe" render "$work/road/step-0019.asc" docs/scenario-road-before.png --extent full --scale 3
"$exe" render "$work/road/step-0045.asc" docs/scenario-road-after.png --extent full --scale 3

rule() {  # $1: name, $2: housing's fields
  echo "{\"landUses\": [{\"id\": 1, \"policy\": 30}, {\"id\": 3, \"policy\": 30$2}]}" \
    > "$work/$1.json"
  "$exe" run --rows 100 --cols 100 --steps 50 --seed 5 --params "$work/$1.json" --no-gif \
    --quiet --extent full --format asc --every 50 --out "$work/$1"
  "$exe" render "$work/$1/step-0050.asc" "docs/rules-$1.png" --extent full --scale 3
}
rule none ""
rule spontaneous ', "spontaneousRate": 100, "centerPercent": 60, "centerCells": 3'
rule edge ', "edgePercent": 80, "edgeRadius": 4, "edgePower": 2'
rule roads ', "roadPercent": 100, "roadRadius": 5, "roadTrip": 20'
