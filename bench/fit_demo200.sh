#!/bin/bash
# The real fit of demo200 with the program's own commands: the start and
# control maps (bench/demo200_maps.py), `towngrow calibrate --method cmaes`
# over the 18 fields, then `towngrow ensemble --params best.json` with 25
# fresh seeds to 1990 and the issue's scores of its majority map.
#
#   bash bench/fit_demo200.sh EXE DATA OUT [options]
#     --holdout            fit on 1950 and 1970, 1990 held out (--validate)
#     --evaluations N      the budget (1000)
#     --population N       CMA-ES's generation (40)
#     --objective TEXT     (fom.developed)
#     --steps-per-year N   (1: control maps after 20, 40, 60 steps)
#     --street-rule        street nodes at the road network's ends and
#                          junctions (an extra experiment)
#     --space FILE         another space (default: the 18 fields)
#     --seed N             the search's seed (1)
# Prints the calibration's summary, then one line of scores.
set -euo pipefail
exe=$(realpath "$1")
data=$(realpath "$2")
out=$(realpath -m "$3")
shift 3
here=$(cd "$(dirname "$0")" && pwd)
holdout=0 evaluations=1000 population=40 objective=fom.developed per_year=1 rule="" space=""
seed=1
while [ $# -gt 0 ]; do
  case "$1" in
    --holdout) holdout=1 ;;
    --evaluations) evaluations=$2; shift ;;
    --population) population=$2; shift ;;
    --objective) objective=$2; shift ;;
    --steps-per-year) per_year=$2; shift ;;
    --street-rule) rule=--street-rule ;;
    --space) space=$(realpath "$2"); shift ;;
    --seed) seed=$2; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
mkdir -p "$out"
/usr/bin/python3 "$here/demo200_maps.py" maps "$data" "$out/maps" $rule
if [ -z "$space" ]; then
  space="$out/space.json"
  cat > "$space" <<'JSON'
[{"id": 1, "field": "minStep", "min": 1, "max": 10, "step": 1},
 {"id": 1, "field": "maxStep", "min": 0, "max": 10, "step": 1},
 {"id": 1, "field": "housePercent", "min": 0, "max": 100, "step": 1},
 {"id": 1, "field": "industryPercent", "min": 0, "max": 100, "step": 1},
 {"id": 1, "field": "commercePercent", "min": 0, "max": 100, "step": 1},
 {"id": 1, "field": "junctionVertices", "min": 0, "max": 9, "step": 1},
 {"id": 1, "field": "junctionHousePercent", "min": 0, "max": 100, "step": 1},
 {"id": 1, "field": "maxLength", "min": 1, "max": 20, "step": 1},
 {"id": 1, "field": "policy", "min": 0, "max": 100, "step": 1},
 {"id": 3, "field": "maxLength", "min": 1, "max": 20, "step": 1},
 {"id": 3, "field": "neighborRadius", "min": 0, "max": 5, "step": 1},
 {"id": 3, "field": "activeAge", "min": 1, "max": 200, "step": 1},
 {"id": 3, "field": "inactivePeriod", "min": 0, "max": 100, "step": 1},
 {"id": 3, "field": "streetPercent", "min": 0, "max": 100, "step": 1},
 {"id": 3, "field": "policy", "min": 0, "max": 100, "step": 1},
 {"id": 3, "field": "densityScale", "min": 0.1, "max": 5, "step": 0.1},
 {"id": 3, "field": "densityRate", "min": 0, "max": 4, "step": 0.1},
 {"id": 3, "field": "densityPower", "min": 0, "max": 4, "step": 0.1}]
JSON
fi
m="$out/maps"
observed=(--observed "$m/urban-1950.asc:$((20 * per_year))" --observed "$m/urban-1970.asc:$((40 * per_year))")
if [ "$holdout" = 1 ]; then
  observed+=(--validate "$m/urban-1990.asc:$((60 * per_year))")
else
  observed+=(--observed "$m/urban-1990.asc:$((60 * per_year))")
fi
start=$(date +%s.%N)
"$exe" calibrate --start "$m/start.asc" --background "$m/background.asc" "${observed[@]}" \
  --space "$space" --runs 4 --seed "$seed" --method cmaes --evaluations "$evaluations" \
  --population "$population" --objective "$objective" --threads 2 --quiet --out "$out/fit"
took=$(echo "$(date +%s.%N) - $start" | bc)
"$exe" ensemble --params "$out/fit/best.json" --start "$m/start.asc" \
  --background "$m/background.asc" --steps $((60 * per_year)) --runs 25 --seed 1000001 \
  --threads 2 --quiet --out "$out/ensemble"
best=$(/usr/bin/python3 -c "import csv,sys; r=next(csv.DictReader(open(sys.argv[1]))); print(r['objective'], r['point'])" "$out/fit/ranking.csv")
echo "best objective and point: $best"
echo "calibration wall time: $took s (load $(cut -d' ' -f1-3 /proc/loadavg))"
/usr/bin/python3 "$here/demo200_maps.py" score "$data" "$out/maps" "$out/ensemble"
