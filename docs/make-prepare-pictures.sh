#!/usr/bin/env bash
# Makes the pictures of docs/prepare.md with the program itself:
#   bash docs/make-prepare-pictures.sh [build/bin/towngrow]
# prepare-streets.png: `towngrow prepare` on four vector roads (a GeoPackage
# made here with ogr2ogr from WKT), start.tif drawn by `towngrow render`;
# prepare-demo200-*.png: the demo200 recipe (examples/demo200/recipe.json,
# when ../shared/data/demo200 is there), its start.png and background.png;
# from examples/demo200/recipe-scenario.json, its suitability.png and
# schedule-20.png.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/bin/towngrow}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Grid: 40 x 24 cells of 10 m from (0, 0) in UTM 33N; the roads in metres.
cat > "$work/roads.csv" <<'CSV'
WKT,name
"LINESTRING (25 35, 385 215)",a long road at a shallow angle
"LINESTRING (95 225, 175 15)",a steep road crossing it
"LINESTRING (265 155, 305 75, 375 45)",a branch leaving it with a bend
"LINESTRING (15 215, 55 190, 65 150)",a road on its own
CSV
ogr2ogr -q -f GPKG "$work/roads.gpkg" "$work/roads.csv" -nln roads -a_srs EPSG:32633 \
  -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO
cat > "$work/recipe.json" <<'JSON'
{"grid": {"crs": "EPSG:32633", "bounds": [0, 0, 400, 240], "cell": 10},
 "start": [{"vector": "roads.gpkg", "as": "street"}]}
JSON
"$exe" prepare "$work/recipe.json" --out "$work/streets" --quiet
"$exe" render "$work/streets/start.tif" docs/prepare-streets.png --scale 16 --extent full
if [ -d ../shared/data/demo200 ]; then
  "$exe" prepare examples/demo200/recipe.json --out "$work/demo200" --quiet
  cp "$work/demo200/start.png" docs/prepare-demo200-start.png
  cp "$work/demo200/background.png" docs/prepare-demo200-background.png
  "$exe" prepare examples/demo200/recipe-scenario.json --out "$work/scenario" --quiet
  cp "$work/scenario/suitability.png" docs/prepare-demo200-suitability.png
  cp "$work/scenario/schedule-20.png" docs/prepare-demo200-schedule-20.png
fi
echo "docs/: prepare-streets.png prepare-demo200-{start,background,suitability,schedule-20}.png"
