#!/bin/bash
# The real fit of demo200 with the program's own commands, as a user runs
# it: `towngrow prepare` on examples/demo200/recipe-scenario.json (the 1930
# start, the roads of 1950, 1970 and 1990 scheduled at steps 20, 40 and 60,
# suitability from the slope, water closed by the background), then the
# calibrate line prepare prints with --space S --runs 4 --method cmaes
# --evaluations 1000 --seed 11 and no other option, then `towngrow ensemble
# --params best.json --runs 25 --steps 60 --seed 1001` with the same
# schedule and surface, scored at 1990.
#
# S: the 18 fields of examples/demo200/space.json and every field of street
# nodes (ID 1) and housing (ID 3) beyond the street-driven rules, each with
# the range `towngrow params --space` gives it.
#
#   bash bench/fit_demo200.sh EXE OUT [options]
#     --holdout         fit on 1950 and 1970; 1990 held out (--validate)
#     --seed N          the search's seed (11)
#     --space FILE      another space
#     --morris          also screen every field of S (Morris, 20 trajectories)
# Prints the calibration's summary and times, then the scores at 1990 of the
# ensemble's majority map (cells developed in at least half of the 25 runs;
# streets count as developed): Lee-Sallee |S n O| / |S u O| and Figure of
# Merit hits / (hits + misses + false alarms) over the cells not developed
# at the start; then the runs' means of fom.developed and leesallee
# (towngrow ensemble --observed).
set -euo pipefail
exe=$(realpath "$1")
out=$(realpath -m "$2")
shift 2
here=$(cd "$(dirname "$0")" && pwd)
holdout=0 seed=11 space="" morris=0
while [ $# -gt 0 ]; do
  case "$1" in
    --holdout) holdout=1 ;;
    --seed) seed=$2; shift ;;
    --space) space=$(realpath "$2"); shift ;;
    --morris) morris=1 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
mkdir -p "$out"
p="$out/prepared"
"$exe" prepare "$here/../examples/demo200/recipe-scenario.json" --out "$p" > "$out/prepare.txt"
line=$(grep -A1 '^Calibrate with' "$out/prepare.txt" | tail -1)
if [ -z "$space" ]; then
  space="$out/space.json"
  "$exe" params --space | /usr/bin/python3 -c '
import json, sys
base = json.load(open(sys.argv[1]))
beyond = {"suitabilityWeight", "spontaneousRate", "spontaneousNodePercent", "centerPercent",
          "centerCells", "edgePercent", "edgeRadius", "edgePower", "roadRadius", "roadTrip",
          "roadPercent"}
base += [e for e in json.load(sys.stdin) if e["id"] in (1, 3) and e["field"] in beyond]
json.dump(base, open(sys.argv[2], "w"), indent=0)' "$here/../examples/demo200/space.json" "$space"
fi
args=${line#*towngrow calibrate }
args=${args/SPACE.json/$space}
if [ "$holdout" = 1 ]; then
  args=${args/--observed $p\/observed-1990.tif:60/--validate $p/observed-1990.tif:60}
fi
start=$(date +%s.%N)
eval "\"\$exe\" calibrate $args --runs 4 --method cmaes --evaluations 1000 --seed $seed --quiet --out \"\$out/fit\""
took=$(echo "$(date +%s.%N) - $start" | bc)
scenario=(--start "$p/start.tif" --background "$p/background.tif" --suitability "$p/suitability.tif"
          --schedule "$p/schedule.json")
start=$(date +%s.%N)
"$exe" ensemble --params "$out/fit/best.json" "${scenario[@]}" --runs 25 --steps 60 --seed 1001 \
  --observed "$p/observed-1990.tif" --classes "$p/classes.json" --quiet --out "$out/ensemble"
ensemble=$(echo "$(date +%s.%N) - $start" | bc)
best=$(/usr/bin/python3 -c "import csv,sys; r=next(csv.DictReader(open(sys.argv[1]))); print(r['objective'], r['point'])" "$out/fit/ranking.csv")
echo "best objective and point: $best"
echo "calibration $took s, ensemble $ensemble s (load $(cut -d' ' -f1-3 /proc/loadavg))"
/usr/bin/python3 - "$p" "$out/ensemble" <<'PY'
import json, sys
import numpy as np
from osgeo import gdal
prepared, ensemble = sys.argv[1], sys.argv[2]
read = lambda name: gdal.Open(name).ReadAsArray().astype(int)
start, observed = read(prepared + "/start.tif"), read(prepared + "/observed-1990.tif")
share = read(ensemble + "/developed.tif")
U = (start >= 1) & (start <= 5)
O = (observed >= 1) & (observed <= 5)
S = (share >= 50) & (share <= 100)
hits, misses, alarms = (S & O & ~U).sum(), (~S & O & ~U).sum(), (S & ~O & ~U).sum()
print(f"majority map at 1990: Lee-Sallee {(S & O).sum() / (S | O).sum():.3f}, Figure of Merit "
      f"{hits / (hits + misses + alarms):.3f} ({S.sum()} cells of S, {O.sum()} observed)")
m = json.load(open(ensemble + "/comparison.json"))["measures"]
print(f"runs' means at 1990: leesallee {m['leesallee']['mean']:.3f}, fom.developed "
      f"{m['fom.developed']['mean']:.3f}")
PY
if [ "$morris" = 1 ]; then
  eval "\"\$exe\" calibrate $args --runs 4 --method morris --trajectories 20 --seed $seed --quiet --out \"\$out/morris\""
  echo "Morris ranking of every field (mu* of the objective; 'none': no effect at all):"
  /usr/bin/python3 -c "
import csv, sys
for r in csv.DictReader(open(sys.argv[1])):
    if r['measure'] == 'objective': print(' ', r['rank'], r['parameter'], r['mu*'], '' if r['effect'] == 'yes' else 'none')
" "$out/morris/sensitivity.csv"
fi
