#!/usr/bin/env bash
# Runs one set of runs, ensembles, comparisons, calibrations and file
# commands with two builds of the program, from the same folder, and
# compares every file they write byte for byte (a calibration database by
# its sorted rows). Used to show that a change of the code around the
# library leaves the outputs as they were.
#   bash bench/same_outputs.sh OLD/bin/towngrow NEW/bin/towngrow
# Prints one line per compared folder and "same outputs" at the end; exits 1
# at the first difference.
set -euo pipefail
old=$(realpath "$1")
new=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

jobs() {  # $1: the program; every output lands in out/
  local exe="$1"
  mkdir -p out in
  "$exe" run --quiet --out out/town --every 25 --format asc --format e00 --format flt \
    --format xya --format tif
  "$exe" run --quiet --start random --rows 40 --cols 60 --steps 30 --seed 7 --out out/random \
    --chart-scale log --extent full
  # Inputs made by the first run (the same for both programs).
  cp out/town/final.asc in/start.asc
  cp out/town/step-0025.asc in/observed.asc
  cp out/random/final.tif in/random.tif
  printf '[{"id": 3, "field": "activeAge", "values": [5, 20]}, '\
'{"id": 1, "field": "minStep", "min": 1, "max": 5, "step": 2}]\n' > in/space.json
  printf '{"classes": [{"name": "urban", "ids": [1, 2, 3, 4, 5], "developed": true}, '\
'{"name": "open", "ids": [0, 6]}]}\n' > in/classes.json
  "$exe" run --quiet --start in/start.asc --crs EPSG:32633 --steps 20 --seed 3 \
    --background in/start.asc --out out/file --no-gif
  "$exe" ensemble --quiet --runs 5 --rows 40 --cols 50 --steps 25 --seed 11 --seed-step 5 \
    --threads 2 --out out/ensemble
  "$exe" ensemble --quiet --runs 4 --start random --rows 40 --cols 60 --steps 15 --seed 3 \
    --observed in/random.tif --out out/ensemble-random
  "$exe" ensemble --quiet --runs 4 --start in/start.asc --steps 10 --seed 5 \
    --observed in/observed.asc --start-of-change in/start.asc --out out/ensemble-observed
  "$exe" compare --quiet in/observed.asc out/file/final.asc --start in/start.asc \
    --out out/compare
  "$exe" compare --quiet in/observed.asc out/file/final.asc --classes in/classes.json \
    --no-fuzzy --out out/compare-classes
  "$exe" calibrate --quiet --start in/start.asc --observed in/observed.asc:25 \
    --validate out/town/step-0050.asc:50 --space in/space.json --runs 2 --method refine \
    --rounds 2 --threads 2 --out out/calibrate
  "$exe" convert in/random.tif out/converted.e00
  "$exe" info in/random.tif > out/info.txt
  "$exe" render in/start.asc out/render.png --scale 2
  "$exe" params > out/params.json
}

for side in old new; do
  rm -rf out in
  jobs "$(eval echo "\$$side")"
  mv out "$side"
done

status=0
while IFS= read -r -d '' f; do
  rel=${f#old/}
  if [ ! -e "new/$rel" ]; then echo "only in the old outputs: $rel"; status=1; continue; fi
  case "$rel" in
    *.sqlite)
      for side in old new; do
        sqlite3 "$side/$rel" '.dump' | grep '^INSERT' | sort > "$side.rows"
      done
      cmp -s old.rows new.rows || { echo "differ: $rel (rows)"; status=1; } ;;
    *) cmp -s "$f" "new/$rel" || { echo "differ: $rel"; status=1; } ;;
  esac
done < <(find old -type f -print0)
extra=$(cd new && find . -type f | sed 's|^\./||' | while read -r g; do [ -e "../old/$g" ] || echo "$g"; done)
[ -z "$extra" ] || { echo "only in the new outputs: $extra"; status=1; }
echo "compared $(find old -type f | wc -l) files"
[ $status = 0 ] && echo "same outputs"
exit $status
