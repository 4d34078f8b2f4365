#!/usr/bin/python3
"""The maps of the real fit of demo200, and its scoring.

  demo200_maps.py maps DATA OUT [--street-rule]
      OUT/start.asc       housing (3) on the 1930 urban cells, street
                          vertices (2) on the 1930 roads, street nodes (1)
                          where roads cross urban cells; with --street-rule
                          the street nodes stand instead at the ends and
                          junctions of the road network (road cells with
                          one, or three or more, road cells among their
                          eight neighbours)
      OUT/background.asc  0 (nothing grows) where the exclusion layer is
                          100, 255 elsewhere
      OUT/urban-YYYY.asc  the urban cells of 1950, 1970 and 1990 as housing
                          (3), the rest vacant (0): the control maps
  demo200_maps.py score DATA OUT ENSEMBLE_FOLDER [--year 1990]
      S = cells developed in at least half of the ensemble's runs (its
      developed.asc holds the percentage; 13 of 25 is 52 %, 12 of 25 48 %),
      O = the year's urban cells, U = the cells developed at the start (the
      1930 urban cells and roads): Lee-Sallee |S n O| / |S u O| and Figure of
      Merit hits / (hits + misses + false alarms) over the cells outside U,
      printed as one line.

Uses GDAL's Python bindings and numpy (Debian python3-gdal, python3-numpy).
"""
import argparse
import os
import sys

import numpy as np
from osgeo import gdal


def read(data, name):
    ds = gdal.Open(os.path.join(data, "demo200." + name + ".gif"))
    if ds is None:
        sys.exit(f"{data}: demo200.{name}.gif cannot be read")
    return ds.GetRasterBand(1).ReadAsArray().astype(np.int32)


def write_asc(path, cells):
    rows, cols = cells.shape
    with open(path, "w") as f:
        f.write(f"ncols {cols}\nnrows {rows}\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                "NODATA_value -9999\n")
        for row in cells:
            f.write(" ".join(str(int(v)) for v in row) + "\n")


def read_asc(path):
    with open(path) as f:
        header = [next(f) for _ in range(6)]
        cells = np.loadtxt(f, dtype=np.int32, ndmin=2)
    return header, cells


def road_neighbours(roads):
    padded = np.pad(roads, 1)
    count = np.zeros(roads.shape, dtype=np.int32)
    for dr in (-1, 0, 1):
        for dc in (-1, 0, 1):
            if dr or dc:
                count += padded[1 + dr:1 + dr + roads.shape[0], 1 + dc:1 + dc + roads.shape[1]]
    return count


def street_rule_nodes(roads):
    """Ends and junctions of the road network: road cells with one, or
    three or more, road cells among their eight neighbours."""
    count = road_neighbours(roads.astype(np.int32))
    return roads & ((count == 1) | (count >= 3))


def make_maps(args):
    os.makedirs(args.out, exist_ok=True)
    urban = {y: read(args.data, f"urban.{y}") != 0 for y in (1930, 1950, 1970, 1990)}
    roads = read(args.data, "roads.1930") != 0
    excluded = read(args.data, "excluded")
    start = np.zeros(roads.shape, dtype=np.int32)
    start[urban[1930]] = 3
    start[roads] = 2
    if args.street_rule:
        nodes = street_rule_nodes(roads)
    else:
        nodes = roads & urban[1930]
    start[nodes] = 1
    write_asc(os.path.join(args.out, "start.asc"), start)
    write_asc(os.path.join(args.out, "background.asc"), np.where(excluded == 100, 0, 255))
    for y in (1950, 1970, 1990):
        write_asc(os.path.join(args.out, f"urban-{y}.asc"), np.where(urban[y], 3, 0))
    print(f"{args.out}: start with {int(nodes.sum())} street nodes, "
          f"{int((start == 2).sum())} street vertices, {int((start == 3).sum())} housing cells")


def score(args):
    urban = read(args.data, f"urban.{args.year}") != 0
    developed_at_start = (read(args.data, "urban.1930") != 0) | (read(args.data, "roads.1930") != 0)
    _, percent = read_asc(os.path.join(args.ensemble, "developed.asc"))
    simulated = percent >= 50
    outside = ~developed_at_start
    both = int((simulated & urban).sum())
    either = int((simulated | urban).sum())
    hits = int((simulated & urban & outside).sum())
    misses = int((~simulated & urban & outside).sum())
    false_alarms = int((simulated & ~urban & outside).sum())
    lee_sallee = both / either if either else float("nan")
    fom = hits / (hits + misses + false_alarms) if hits + misses + false_alarms else float("nan")
    print(f"Lee-Sallee {lee_sallee:.3f}  Figure of Merit {fom:.3f}  "
          f"cells of S {int(simulated.sum())}  of O {int(urban.sum())}  "
          f"hits {hits} misses {misses} false alarms {false_alarms}")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    m = sub.add_parser("maps")
    m.add_argument("data")
    m.add_argument("out")
    m.add_argument("--street-rule", action="store_true")
    s = sub.add_parser("score")
    s.add_argument("data")
    s.add_argument("out")
    s.add_argument("ensemble")
    s.add_argument("--year", type=int, default=1990)
    args = parser.parse_args()
    make_maps(args) if args.command == "maps" else score(args)


if __name__ == "__main__":
    main()
