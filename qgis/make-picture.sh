#!/usr/bin/env bash
# docs/qgis-grown-town.png: the built-in town (200 x 200 cells, seed 1, 100
# steps) grown by towngrow:grow under headless qgis_process and drawn by QGIS
# itself with its legend (qgis/render_map.py), from the top of the checkout:
#   bash qgis/make-picture.sh [build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work
export QGIS_PLUGINPATH=$PWD/qgis PYTHONPATH=$build/python
qgis_process.bin plugins enable towngrow_qgis > /dev/null 2>&1
qgis_process.bin run towngrow:grow -- ROWS=200 COLS=200 STEPS=100 SEED=1 \
  OUTPUT="$work/final.tif" > /dev/null 2>&1
/usr/bin/python3 qgis/render_map.py "$work/final.tif" docs/qgis-grown-town.png \
  --title "towngrow:grow in QGIS: the built-in town after 100 steps (seed 1)" 2> /dev/null
echo "docs/qgis-grown-town.png"
