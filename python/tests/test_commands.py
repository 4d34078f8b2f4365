"""grow(), ensemble() and compare() with out=: the command's files, and refused input."""
import csv
import json
import pathlib
import shutil

import numpy as np
import pytest

import towngrow
from conftest import read_asc

URBAN = {"classes": [{"name": "urban", "ids": [1, 2, 3, 4, 5], "developed": True},
                     {"name": "open", "ids": [0, 6]}]}
PARAMS = {"landUses": [{"id": 3, "activeAge": 4}, {"id": 9, "kind": "Commerce"}]}
# Commerce of ID 9 makes the library's notices.
pytestmark = pytest.mark.filterwarnings("ignore::towngrow.TowngrowWarning")


def files(folder):
    """Every file of a folder by name, with its bytes."""
    return {p.name: p.read_bytes() for p in pathlib.Path(folder).iterdir()}


def nothing_written():
    """No file in ./out: at most the empty folder, as the program leaves it."""
    return not any(pathlib.Path("out").glob("*"))


def program_files(program, *args):
    """The files the program writes into ./out (then removed for the module's)."""
    program(*args, "--out", "out", "--quiet")
    written = files("out")
    shutil.rmtree("out")
    return written


@pytest.fixture
def town(program, tmp_path, monkeypatch):
    """A working folder holding a start, a later map of it, a background and classes."""
    monkeypatch.chdir(tmp_path)
    for name, seed, steps in (("start", 1, 0), ("later", 2, 8)):
        program("run", "--rows", 24, "--cols", 30, "--seed", seed, "--steps", steps,
                "--out", name, "--quiet", "--no-png", "--no-gif")
    background = np.full((24, 30), 255)
    background[:, :10] = 1 | 2 | 4  # streets only on the left
    np.savetxt("background.asc", background, fmt="%d", comments="",
               header="ncols 30\nnrows 24\nxllcorner 0\nyllcorner 0\ncellsize 30\n"
                      "nodata_value -9999")
    pathlib.Path("classes.json").write_text(json.dumps(URBAN))
    pathlib.Path("params.json").write_text(json.dumps(PARAMS))
    return tmp_path


# The program's options, and grow()'s for the same run.
GROW_RUNS = [
    (["--rows", 30, "--cols", 40, "--steps", 9, "--seed", 3, "--every", 3, "--format", "asc",
      "--format", "tif", "--params", "params.json"],
     dict(rows=30, cols=40, steps=9, seed=3, every=3, formats=["asc", "tif"], params=PARAMS)),
    (["--start", "start/final.asc", "--background", "background.asc", "--crs", "EPSG:32633",
      "--steps", 7, "--seed", 8, "--no-gif", "--extent", "full", "--chart-scale", "log",
      "--params", "params.json"],
     dict(start="start/final.asc", background="background.asc", crs="EPSG:32633", steps=7,
          seed=8, gif=False, extent="full", chart_scale="log", params="params.json")),
    (["--start", "random", "--rows", 20, "--cols", 25, "--steps", 5, "--seed", 4, "--no-png"],
     dict(start="random", rows=20, cols=25, steps=5, seed=4, png=False)),
]


@pytest.mark.parametrize("args,kwargs", GROW_RUNS)
def test_grow_writes_what_run_writes(program, town, args, kwargs):
    expected = program_files(program, "run", *args)
    steps = []
    result = towngrow.grow(**kwargs, out="out", progress=lambda k, n: steps.append((k, n)))
    assert files("out") == expected
    n = kwargs["steps"]
    assert result["steps"] == n and steps == [(k, n) for k in range(1, n + 1)]
    assert result["out"] == "out"
    np.testing.assert_array_equal(result["final"], read_asc("out/final.asc"))
    with open("out/stats.csv") as f:
        table = list(csv.reader(f))
    assert list(result["stats"]) == table[0]
    got = np.array([result["stats"][name] for name in table[0]]).T
    np.testing.assert_array_equal(got, np.array(table[1:], dtype=np.int64))
    # Without a folder: the same run, no file.
    again = towngrow.grow(**kwargs)
    np.testing.assert_array_equal(again["final"], result["final"])
    assert again["out"] is None


@pytest.mark.parametrize("kwargs,error,named", [
    (dict(chart_scale="cubic"), ValueError, "chart_scale= cubic: not one of linear, log"),
    (dict(rows=4), ValueError, "4 x 200"),
    (dict(params={"landUses": [{"id": 3, "activeAge": -2}]}), ValueError, "activeAge"),
    (dict(crs="no such system"), ValueError, "no such system"),
    (dict(start="missing.asc"), OSError, "missing.asc"),
    (dict(background="start/final.tif", rows=10, cols=10), OSError, "background"),
    (dict(start=7), TypeError, "start"),
])
def test_grow_refusals_write_nothing(town, kwargs, error, named):
    with pytest.raises(error, match=named):
        towngrow.grow(**{"steps": 3, **kwargs}, out="out")
    assert nothing_written()


def test_grow_stopped_by_progress_writes_nothing(town):
    def stop(step, steps):
        if step == 3:
            raise KeyboardInterrupt
    with pytest.raises(KeyboardInterrupt):
        towngrow.grow(rows=20, cols=20, steps=10, out="out", progress=stop)
    assert nothing_written()


def test_ensemble_writes_the_program_maps_and_comparison(program, town):
    expected = program_files(program, "ensemble", "--start", "start/final.asc", "--runs", 3,
                             "--steps", 8, "--seed", 5, "--seed-step", 2, "--threads", 2,
                             "--observed", "later/final.asc", "--classes", "classes.json",
                             "--background", "background.asc", "--params", "params.json")
    sim = towngrow.Simulation(5, 5, "params.json")
    sim.load("start/final.asc")
    sim.background = "background.asc"
    result = towngrow.ensemble(sim, 8, 3, seed=5, seed_step=2, threads=1,
                               observed="later/final.asc", classes=URBAN, out="out")
    got = files("out")
    assert got.keys() == expected.keys()
    for name in expected.keys() - {"ensemble.json", "report.html"}:
        assert got[name] == expected[name], name
    record = json.loads(got["ensemble.json"])["run"]
    assert record["start"] == record["background"] == "given in memory"
    assert "repeat" not in record

    theirs = json.loads(expected["comparison.json"])
    assert result["comparison"]["auc"] == theirs["developedProbability"]["auc"]
    assert result["comparison"]["measures"] == theirs["measures"]
    # The observed map as an array and the start of change as a Simulation: the same runs.
    same = towngrow.ensemble(sim, 8, 3, seed=5, seed_step=2, observed=read_asc(
        "later/final.asc"), start_of_change=sim, classes="classes.json")
    assert same["comparison"] == result["comparison"] and same["out"] is None


@pytest.mark.parametrize("kwargs,error,named", [
    (dict(observed=np.zeros((24, 31), np.uint8)), ValueError, "observed: the map has 24 x 31"),
    (dict(observed="start/final.asc", start_of_change=np.zeros((5, 5))), ValueError,
     "start_of_change"),
    (dict(observed="big/final.asc"), OSError, "observed: big/final.asc: has 30 x 30"),
    (dict(observed="start/final.asc", classes="missing.json"), ValueError, "missing.json"),
    (dict(classes=URBAN), ValueError, "classes needs observed"),
    (dict(runs=0), ValueError, "runs"),
])
def test_ensemble_refusals_write_nothing(program, town, kwargs, error, named):
    program("run", "--rows", 30, "--cols", 30, "--steps", 0, "--out", "big", "--quiet",
            "--no-png", "--no-gif")
    kwargs = {"runs": 2, **kwargs}
    with pytest.raises(error, match=named):
        towngrow.ensemble(towngrow.Simulation(24, 30), 2, **kwargs, out="out")
    assert nothing_written()


def test_compare_writes_what_compare_writes(program, town):
    args = ["later/final.asc", "start/final.asc", "--start", "start/final.asc"]
    expected = program_files(program, "compare", *args, "--classes", "classes.json",
                             "--radius", 2)
    measures = towngrow.compare(*args[:2], args[3], classes="classes.json", radius=2, out="out")
    assert files("out") == expected
    assert measures == json.loads(expected["compare.json"])["measures"]
    # Maps in memory: the same numbers; named so, and no command that repeats them.
    sim = towngrow.Simulation(5, 5)
    sim.load("start/final.asc")
    towngrow.compare("later/final.asc", sim, read_asc("start/final.asc"), classes=URBAN,
                     radius=2, out="memory")
    got = files("memory")
    assert got.keys() == expected.keys()
    for name in ("crosstab.csv", "landscape.csv", "resolution.csv", "agreement.tif"):
        assert got[name] == expected[name], name
    assert json.loads(got["compare.json"])["simulated"]["file"] == "given in memory"
    assert b"<pre>towngrow compare " in expected["report.html"]
    assert b"<pre>towngrow compare " not in got["report.html"]
