"""calibrate() with a folder: the program's files, its database, and a search
stopped by the progress function (or Ctrl-C) that a second call finishes."""
import csv
import json
import sqlite3

import pytest

import towngrow
from conftest import read_asc

SPACE = [{"id": 1, "field": "minStep", "min": 1, "max": 7, "step": 1},
         {"id": 3, "field": "neighborRadius", "min": 0, "max": 3, "step": 1},
         {"id": 3, "field": "streetPercent", "values": [0, 20, 40, 60]}]


@pytest.fixture(scope="module")
def past(program, tmp_path_factory):
    folder = tmp_path_factory.mktemp("past")
    program("run", "--rows", 30, "--cols", 30, "--steps", 8, "--every", 4, "--format", "asc",
            "--seed", 1000, "--out", folder, "--quiet", "--no-png", "--no-gif")
    return {steps: read_asc(folder / f"step-{steps:04d}.asc") for steps in (4, 8)}


def start():
    sim = towngrow.Simulation(30, 30)
    sim.place_starter_town()
    return sim


def rows(folder):
    with sqlite3.connect(folder / "calibration.sqlite") as db:
        return [sorted(db.execute(f"SELECT * FROM {t}").fetchall())
                for t in ("meta", "points", "measures")]


@pytest.mark.parametrize("method,options", [
    ("cmaes", {"evaluations": 30}),
    ("morris", {"trajectories": 8}),
])
def test_a_stopped_search_goes_on_from_its_database(past, tmp_path, method, options):
    kwargs = dict(runs=2, seed=7, method=method, threads=1, **options)
    whole = towngrow.calibrate(start(), {4: past[4]}, SPACE, validate={8: past[8]},
                               out=tmp_path / "whole", **kwargs)

    calls = []

    def stop(done, total):
        calls.append(done)
        if len(calls) == 12:
            raise KeyboardInterrupt
    with pytest.raises(KeyboardInterrupt):
        towngrow.calibrate(start(), {4: past[4]}, SPACE, validate={8: past[8]},
                           out=tmp_path / "cut", progress=stop, **kwargs)
    assert len(rows(tmp_path / "cut")[1]) == 12  # the finished points are kept
    assert not (tmp_path / "cut" / "ranking.csv").exists()

    again = []
    resumed = towngrow.calibrate(start(), {4: past[4]}, SPACE, validate={8: past[8]},
                                 out=tmp_path / "cut",
                                 progress=lambda done, total: again.append(done), **kwargs)
    assert resumed == whole
    assert len(again) == len(whole) - 12  # only the points not in the database ran
    assert rows(tmp_path / "cut") == rows(tmp_path / "whole")
    own = "sensitivity.csv" if method == "morris" else "rounds.csv"
    for name in ("ranking.csv", "validation.csv", "best.json", own, "best/step-4/majority.json"):
        assert (tmp_path / "cut" / name).read_text() == (tmp_path / "whole" / name).read_text()
    # A host's own maps: no command line repeats the work.
    best = json.loads((tmp_path / "whole" / "best.json").read_text())
    assert "repeat" not in best["run"]
    with open(tmp_path / "whole" / "validation.csv") as f:
        held = list(csv.DictReader(f))
    assert held[0]["steps"] == "8" and held[0]["majority.leesallee"] != ""

    # Other inputs are refused, and leave the database as it was.
    for other, what in (({"seed": 8}, "seed"), ({"runaway": 2}, "runaway bound")):
        with pytest.raises(ValueError, match="made for another " + what):
            towngrow.calibrate(start(), {4: past[4]}, SPACE, out=tmp_path / "whole",
                               **dict(kwargs, **other))
    assert rows(tmp_path / "whole") == rows(tmp_path / "cut")


def test_refusals_of_the_new_options(past):
    for options, match in (({"method": "cmaes"}, "method= cmaes needs evaluations="),
                           ({"method": "grid", "max_points": 10}, "a round of 112 points"),
                           ({"method": "morris", "levels": 5}, "even"),
                           ({"validate": {0: past[8]}}, "validate: the steps"),
                           ({"classes": {"classes": []}}, "classes"),
                           ({"runaway": 0.5}, "runaway= must be 0"),
                           ({"method": "simplex"}, "method= simplex: not one of grid, refine")):
        with pytest.raises(ValueError, match=match):
            towngrow.calibrate(start(), {4: past[4]}, SPACE, **options)
