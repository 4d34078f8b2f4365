#!/usr/bin/env bash
# CI: the distributed ensemble. Builds towngrow with MPI (build-mpi) and checks
# that 1 and 3 processes give exactly the files of a threaded run.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
  apt-get update -qq && apt-get install -y -qq $(cat .ci/packages.txt) >/dev/null
fi
cmake -S . -B build-mpi -DCMAKE_BUILD_TYPE=Release -DTOWNGROW_MPI=ON \
  -DTOWNGROW_BUILD_TESTS=OFF -DTOWNGROW_BUILD_EXAMPLES=OFF >/dev/null
cmake --build build-mpi --target towngrow_cli -j2 >/dev/null
exe="$PWD/build-mpi/bin/towngrow"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mpirun="mpirun --allow-run-as-root --oversubscribe"

check() {  # $1: name, then the ensemble's options
  local name="$1"; shift
  "$exe" ensemble "$@" --threads 3 --quiet --out "$work/$name-threads"
  $mpirun -np 1 "$exe" ensemble "$@" --threads 2 --quiet --out "$work/$name-mpi1"
  $mpirun -np 3 "$exe" ensemble "$@" --threads 1 --quiet --out "$work/$name-mpi3"
  for run in mpi1 mpi3; do
    for f in "$work/$name-threads"/*; do
      base="$(basename "$f")"
      if [ "$base" = ensemble.json ]; then  # only the repeat line names the folder
        cmp <(grep -v '"repeat"' "$f") <(grep -v '"repeat"' "$work/$name-$run/$base")
      elif [ "$base" = report.html ]; then  # so does the command line that repeats the work
        cmp <(grep -v '^<pre>towngrow ' "$f") <(grep -v '^<pre>towngrow ' "$work/$name-$run/$base")
      else
        cmp "$f" "$work/$name-$run/$base"
      fi
    done
    [ "$(ls "$work/$name-threads" | wc -l)" = "$(ls "$work/$name-$run" | wc -l)" ]
  done
  echo "mpi: $name: 1 and 3 processes give the threaded result"
}

check town --runs 7 --rows 40 --cols 50 --steps 25 --seed 11 --seed-step 5
check random --runs 5 --rows 30 --cols 30 --steps 15 --seed 3 --start random

# Every run compared with an observed map: the per-run measures travel to the first process.
"$exe" run --rows 30 --cols 40 --steps 12 --seed 99 --no-png --no-gif --quiet --out "$work/observed"
"$exe" run --rows 30 --cols 40 --steps 0 --seed 98 --start random --no-png --no-gif --quiet \
  --out "$work/change"
check observed --runs 4 --rows 30 --cols 40 --steps 10 --seed 5 --observed "$work/observed/final.asc"
check observed-random --runs 5 --rows 30 --cols 40 --steps 12 --seed 3 --start random \
  --observed "$work/observed/final.asc" --start-of-change "$work/change/final.asc"

# A calibration: the first process hands points out and alone writes the
# database; its rows, the ranking and the best point equal a threaded run's.
"$exe" run --rows 30 --cols 30 --steps 8 --every 4 --format asc --seed 1000 --no-png --no-gif \
  --quiet --out "$work/past"
cat > "$work/space.json" <<'JSON'
[{"id": 1, "field": "minStep", "values": [1, 3, 5]},
 {"id": 3, "field": "neighborRadius", "min": 0, "max": 3, "step": 1},
 {"id": 3, "field": "streetPercent", "values": [0, 20]}]
JSON
calibrate() {  # $1: output folder, $2: the search's options (one word list), then the launcher's
  local out="$1" search="$2"; shift 2
  # shellcheck disable=SC2086
  "$@" "$exe" calibrate --start town --rows 30 --cols 30 --observed "$work/past/step-0004.asc:4" \
    --observed "$work/past/step-0008.asc:8" --space "$work/space.json" --runs 3 --seed 7 \
    $search --quiet --out "$out"
}
rows() {
  for table in meta points measures; do
    sqlite3 "$1/calibration.sqlite" "SELECT * FROM $table" | LC_ALL=C sort
  done
}
for search in "--method refine --rounds 2" "--method cmaes --evaluations 30" \
  "--method morris --trajectories 8"; do
  name="$(echo "$search" | cut -d' ' -f2)"
  calibrate "$work/$name-threads" "$search" env
  calibrate "$work/$name-mpi1" "$search" $mpirun -np 1
  calibrate "$work/$name-mpi3" "$search" $mpirun -np 3
  for run in mpi1 mpi3; do
    cmp <(rows "$work/$name-threads") <(rows "$work/$name-$run")
    for f in ranking.csv rounds.csv best/step-8/majority.json; do
      cmp "$work/$name-threads/$f" "$work/$name-$run/$f"
    done
    if [ "$name" = morris ]; then cmp "$work/$name-threads/sensitivity.csv" "$work/$name-$run/sensitivity.csv"; fi
    cmp <(grep -v '"repeat"' "$work/$name-threads/best.json") \
      <(grep -v '"repeat"' "$work/$name-$run/best.json")
    [ "$(rows "$work/$name-threads" | wc -l)" -gt 100 ]
  done
  echo "mpi: calibration by $name: 1 and 3 processes give the threaded database and ranking"
done
