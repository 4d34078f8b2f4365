"""ensemble() and compare() against explicit runs and the program's outputs."""
import csv
import json

import numpy as np
import pytest

import towngrow
from conftest import read_asc


def start(rows=30, cols=30):
    sim = towngrow.Simulation(rows, cols)
    sim.place_starter_town()
    return sim


def test_ensemble_is_the_seeded_runs(program, tmp_path):
    base = start()
    result = towngrow.ensemble(base, 6, 3, seed=4, seed_step=2, threads=2)
    assert base.step_count == 0 and base.report["cells"][3] == 12  # left as it was
    finals = []
    for i in range(3):
        towngrow.seed(4 + 2 * i)
        sim = start()
        sim.run(6)
        finals.append(sim.ids.copy())
    housing = np.mean([f == 3 for f in finals], axis=0)
    developed = np.mean([(f >= 1) & (f <= 5) for f in finals], axis=0)
    np.testing.assert_array_equal(result["probability"]["housing"], housing)
    np.testing.assert_array_equal(result["probability"]["developed"], developed)
    assert result["mean"].shape == result["std"].shape == (7, 256)

    program("ensemble", "--runs", 3, "--rows", 30, "--cols", 30, "--steps", 6, "--seed", 4,
            "--seed-step", 2, "--threads", 1, "--out", tmp_path, "--quiet")
    with open(tmp_path / "ensemble.csv") as f:
        table = [[float(x) for x in row[1:]] for row in list(csv.reader(f))[1:]]
    table = np.array(table)
    np.testing.assert_allclose(result["mean"][:, :7], table[:, 0::2], atol=5e-5)
    np.testing.assert_allclose(result["std"][:, :7], table[:, 1::2], atol=5e-5)


def test_ensemble_progress_and_refusals():
    calls = []
    towngrow.ensemble(start(), 2, 4, threads=1, progress=lambda done, runs: calls.append(
        (done, runs)))
    assert calls == [(k, 4) for k in (1, 2, 3, 4)]

    def stop(done, runs):
        raise KeyboardInterrupt
    with pytest.raises(KeyboardInterrupt):
        towngrow.ensemble(start(), 2, 50, threads=1, progress=stop)
    with pytest.raises(TypeError):
        towngrow.ensemble(np.zeros((10, 10)), 2, 2)
    with pytest.raises(ValueError):
        towngrow.ensemble(start(), 2, 2, seed=-3)


@pytest.fixture(scope="module")
def maps(program, tmp_path_factory):
    folder = tmp_path_factory.mktemp("maps")
    for name, seed, steps in (("start", 1, 0), ("observed", 2, 5), ("simulated", 3, 8)):
        program("run", "--rows", 40, "--cols", 50, "--seed", seed, "--steps", steps,
                "--out", folder / name, "--quiet", "--no-png", "--no-gif")
    return {name: folder / name / "final.asc" for name in ("start", "observed", "simulated")}


@pytest.mark.parametrize("options,args", [
    ({}, []),
    ({"fuzzy": False}, ["--no-fuzzy"]),
    ({"halving": 1.5, "radius": 3}, ["--halving", 1.5, "--radius", 3]),
])
def test_compare_gives_the_program_measures(program, maps, tmp_path, options, args):
    program("compare", maps["observed"], maps["simulated"], "--start", maps["start"],
            "--out", tmp_path, "--quiet", *args)
    expected = json.load(open(tmp_path / "compare.json"))["measures"]
    # Files, arrays and simulations are the same maps.
    simulated = towngrow.Simulation(5, 5)
    simulated.load(maps["simulated"])
    got = towngrow.compare(str(maps["observed"]), simulated, read_asc(maps["start"]), **options)
    assert got == pytest.approx(expected, rel=1e-12)
    assert got.keys() == expected.keys()


def test_compare_classes_and_refusals(maps):
    observed, simulated = read_asc(maps["observed"]), read_asc(maps["simulated"])
    urban = {"classes": [{"name": "urban", "ids": [1, 2, 3, 4, 5], "developed": True},
                         {"name": "open", "ids": [0]}]}
    got = towngrow.compare(observed, simulated, classes=urban, fuzzy=False)
    same = ((observed > 0) == (simulated > 0)).mean()
    assert got["agreement"] == pytest.approx(same)
    assert "fom" not in got  # no start, no change measures
    for bad, error in ((observed[:10], ValueError), (observed.astype(float), ValueError),
                       (observed.astype(int) + 300, ValueError), ("no-such.asc", OSError)):
        with pytest.raises(error):
            towngrow.compare(bad, simulated)
    with pytest.raises(ValueError, match="classes"):
        towngrow.compare(observed, simulated, classes={"classes": [{"name": "a b", "ids": [0]}]})


SPACE = [{"id": 3, "field": "activeAge", "values": [3, 10]},
         {"id": 1, "field": "directionProb[2]", "min": 50, "max": 150, "step": 100}]


def test_calibrate_ranks_as_the_program(program, maps, tmp_path):
    (tmp_path / "space.json").write_text(json.dumps(SPACE))
    program("calibrate", "--rows", 40, "--cols", 50, "--observed", f"{maps['observed']}:5",
            "--observed", f"{maps['simulated']}:8", "--space", tmp_path / "space.json",
            "--runs", 2, "--seed", 3, "--seed-step", 5, "--objective", "fom.developed*ksim",
            "--threads", 2, "--out", tmp_path / "cal", "--quiet")
    with open(tmp_path / "cal" / "ranking.csv") as f:
        expected = list(csv.DictReader(f))
    start = towngrow.Simulation(40, 50)
    start.place_starter_town()
    calls = []
    got = towngrow.calibrate(start, {8: maps["simulated"], 5: read_asc(maps["observed"])}, SPACE,
                             runs=2, seed=3, seed_step=5, objective="fom.developed*ksim",
                             threads=1, progress=lambda done, total: calls.append((done, total)))
    assert calls == [(k, 4) for k in (1, 2, 3, 4)]
    assert [r["point"] for r in got] == [r["point"] for r in expected]
    for mine, theirs in zip(got, expected):
        assert mine["rank"] == int(theirs["rank"])
        assert mine["id3.activeAge"] == int(theirs["id3.activeAge"])
        for key in ("objective", "quantity", "ksim step 5 mean", "fom.developed step 8 sd"):
            assert mine[key] == pytest.approx(float(theirs[key]), abs=5e-7), key


@pytest.mark.parametrize("space,observed,match", [
    ([{"id": 3, "field": "activeAgee", "values": [1]}], None, "activeAgee"),
    (SPACE, {0: None}, "steps"),
    (SPACE, {5: np.zeros((10, 10), np.uint8)}, "10 x 10"),
])
def test_calibrate_refusals(space, observed, match):
    start = towngrow.Simulation(40, 50)
    observed = observed or {5: np.zeros((40, 50), np.uint8)}
    with pytest.raises(ValueError, match=match):
        towngrow.calibrate(start, observed, space)
