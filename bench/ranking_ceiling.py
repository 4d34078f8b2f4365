#!/usr/bin/env python3
"""What the inputs of a prepared fit can tell, scored as bench/fit_demo200.sh scores a fit.

    /usr/bin/python3 bench/ranking_ceiling.py PREPARED [YEAR]

PREPARED is the folder `towngrow prepare` wrote (start.tif, background.tif,
schedule.json and its layers, observed-YEAR.tif; YEAR 1990 by default). Every
cell is ranked by a static score built only from what a model reads: d / n^a +
b x r, with d the distance to the start's places (housing to commerce), n the
size of the nearest place (8-connected cells) and r the distance to the streets
of the start and of the schedule's entries before the last. The best S of each
size, taken in the order of the ranking, is scored as the fit is: the start and
every scheduled street count as developed (they are developed in every run),
closed cells (background 0) are never taken, Lee-Sallee |S n O| / |S u O| and
Figure of Merit over the cells not developed at the start.

Prints the best scores over a grid of a and b, at the observed number of cells
and at the best number: the ceiling a growth model reading these inputs can
hope to reach with its majority map.
"""
import json
import sys

import numpy as np
from osgeo import gdal
from scipy import ndimage

folder = sys.argv[1]
year = sys.argv[2] if len(sys.argv) > 2 else "1990"


def read(name):
    return gdal.Open(f"{folder}/{name}").ReadAsArray().astype(int)


start, observed, background = read("start.tif"), read(f"observed-{year}.tif"), read("background.tif")
entries = json.load(open(f"{folder}/schedule.json"))
layers = [read(layer) for entry in entries for layer in entry["layers"]]
developed = lambda grid: (grid >= 1) & (grid <= 5)
U, O, closed = developed(start), developed(observed), background == 0
places = (start >= 3) & (start <= 5)
streets = (start == 1) | (start == 2)
for layer in layers[:-1]:
    streets |= (layer == 1) | (layer == 2)
forced = U.copy()
for layer in layers:
    forced |= developed(layer)

labels, _ = ndimage.label(places, structure=np.ones((3, 3)))
sizes = np.bincount(labels.ravel())
d, (ir, ic) = ndimage.distance_transform_edt(~places, return_indices=True)
n = sizes[labels[ir, ic]]
r = ndimage.distance_transform_edt(~streets)


def best(rank, counts):
    rank = rank.astype(float)
    rank[closed] = np.inf
    rank[forced] = -np.inf
    order = np.argsort(rank, axis=None)
    out = {}
    for q in counts:
        S = np.zeros(rank.size, bool)
        S[order[:q]] = True
        S = S.reshape(rank.shape) | forced
        hits, misses, alarms = (S & O & ~U).sum(), (~S & O & ~U).sum(), (S & ~O & ~U).sum()
        out[q] = ((S & O).sum() / (S | O).sum(), hits / (hits + misses + alarms), S.sum())
    return out


observedCells = int(O.sum())
counts = sorted({observedCells, *range(observedCells // 2, observedCells * 2, 100)})
results = []
for a in (0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6):
    for b in (0, 0.1, 0.2, 0.3, 0.5, 0.75, 1.0):
        scores = best(d / n**a + b * r, counts)
        results.append((scores[observedCells], max(scores.values()), a, b))
at, a, b = max((x[0], x[2], x[3]) for x in results)
print(f"at the observed {observedCells} cells: Lee-Sallee {at[0]:.3f}, Figure of Merit "
      f"{at[1]:.3f} (a {a}, b {b})")
top, a, b = max((x[1], x[2], x[3]) for x in results)
print(f"at the best number of cells ({top[2]}): Lee-Sallee {top[0]:.3f}, Figure of Merit "
      f"{top[1]:.3f} (a {a}, b {b})")
