"""The Simulation: the program's towns, views, parameters, the step loop."""
import json

import numpy as np
import pytest

import towngrow
from conftest import read_asc


def grow(rows, cols, seed, steps, params=None):
    towngrow.seed(seed)
    sim = towngrow.Simulation(rows, cols, params)
    sim.place_starter_town()
    sim.run(steps)
    return sim


# rows, cols, seed, steps, params (None: the default roster)
PROGRAM_RUNS = [
    (40, 50, 1, 30, None),
    (33, 21, 7, 45, None),
    (60, 60, 123456789, 25, {"landUses": [{"id": 3, "activeAge": 3, "neighborRadius": 3}]}),
]


@pytest.mark.parametrize("rows,cols,seed,steps,params", PROGRAM_RUNS)
def test_grows_the_program_town(program, tmp_path, rows, cols, seed, steps, params):
    args = ["run", "--rows", rows, "--cols", cols, "--seed", seed, "--steps", steps,
            "--out", tmp_path / "out", "--quiet", "--no-png", "--no-gif"]
    if params:
        (tmp_path / "p.json").write_text(json.dumps(params))
        args += ["--params", tmp_path / "p.json"]
    program(*args)
    sim = grow(rows, cols, seed, steps, params)
    assert sim.step_count == steps
    np.testing.assert_array_equal(sim.ids, read_asc(tmp_path / "out" / "final.asc"))


def test_random_fill_repeats_the_program_start(program, tmp_path):
    program("run", "--rows", 30, "--cols", 40, "--seed", 5, "--steps", 12, "--start", "random",
            "--out", tmp_path, "--quiet", "--no-png", "--no-gif")
    towngrow.seed(5)
    sim = towngrow.Simulation(30, 40)
    sim.random_fill()
    sim.run(12)
    np.testing.assert_array_equal(sim.ids, read_asc(tmp_path / "final.asc"))


def test_write_through_view_before_start_equals_a_start_file(program, tmp_path):
    towngrow.seed(3)
    sim = towngrow.Simulation(40, 40)
    sim.place_starter_town()
    ids = sim.ids
    ids[5, 3:30] = 2   # a street with a node at each end, far from the town
    ids[5, 2] = ids[5, 30] = 1
    ids[30:34, 30:34] = 4
    start = ids.copy()
    sim.run(20)
    towngrow.Simulation(40, 40)  # another simulation does not disturb it
    np.savetxt(tmp_path / "start.asc", start, fmt="%d", comments="",
               header="ncols 40\nnrows 40\nxllcorner 0\nyllcorner 0\ncellsize 30\n"
                      "nodata_value -9999")
    program("run", "--start", tmp_path / "start.asc", "--seed", 3, "--steps", 20,
            "--out", tmp_path / "out", "--quiet", "--no-png", "--no-gif")
    np.testing.assert_array_equal(sim.ids, read_asc(tmp_path / "out" / "final.asc"))


def test_write_through_view_mid_run_is_seen_by_the_next_step():
    sim = grow(50, 50, 2, 10)
    sim.ids[:] = 0  # the whole town gone: vacant land grows nothing
    report = sim.step()
    assert report["cells"][0] == 2500
    # Views taken and not written change nothing: the same town as without.
    a = grow(50, 50, 4, 0)
    assert a.run(10, lambda report: a.ids is not None and a.ages is not None) == 10
    b = grow(50, 50, 4, 10)
    np.testing.assert_array_equal(a.ids, b.ids)
    np.testing.assert_array_equal(a.ages, b.ages)


def test_ages_view_is_written_too():
    sim = grow(40, 40, 1, 3)
    ages = sim.ages
    assert ages.dtype == np.int16 and ages.shape == (40, 40)
    ages[sim.ids == 3] = -1  # dead housing is abandoned by the next step
    before = int(sim.report["cells"][3])
    assert before > 0
    sim.step()
    assert sim.report["developments"][3] == 0


def test_views_after_a_step_are_read_only_and_keep_the_owner():
    sim = grow(20, 20, 1, 2)
    ids = sim.ids
    assert ids.base is not None and ids.flags.writeable
    sim.step()
    assert not ids.flags.writeable
    with pytest.raises(ValueError):
        ids[0, 0] = 3
    assert sim.ids.flags.writeable
    last = sim.ids.copy()
    del sim
    np.testing.assert_array_equal(ids, last)  # the owner lives on with its view


def test_resize_refused_while_views_live(tmp_path):
    towngrow.Simulation(12, 9).save(tmp_path / "small.asc")
    sim = towngrow.Simulation(20, 20)
    view = sim.ids
    with pytest.raises(RuntimeError, match="views"):
        sim.load(tmp_path / "small.asc")
    assert sim.shape == (20, 20)
    del view
    sim.load(tmp_path / "small.asc")
    assert sim.ids.shape == (12, 9)


@pytest.mark.parametrize("params,named", [
    ({"landUses": [{"id": 3, "activeAge": -5}]}, "activeAge"),
    ({"landUse": []}, "landUse"),
    ({"landUses": [{"id": 3, "policy": float("nan")}]}, "JSON"),
])
def test_bad_params_raise_value_error_naming_them(params, named):
    with pytest.raises(ValueError, match=named):
        towngrow.Simulation(10, 10, params)
    sim = towngrow.Simulation(10, 10)
    with pytest.raises(ValueError, match=named):
        sim.params = params
    assert sim.params == towngrow.default_params()  # nothing half-applied


def test_params_round_trip_and_numpy_values():
    params = towngrow.default_params()
    params["landUses"][3]["activeAge"] = np.int64(7)
    sim = towngrow.Simulation(10, 10, params)
    assert sim.params["landUses"][3]["activeAge"] == 7
    assert [u["id"] for u in sim.params["landUses"]] == [0, 1, 2, 3, 4, 5, 6]


def test_run_callback_sees_reports_and_stops():
    sim = grow(30, 30, 1, 0)
    seen = []
    ran = sim.run(50, lambda r: seen.append((r["step"], int(r["cells"].sum()))) or len(seen) < 4)
    assert ran == 4 and seen == [(k, 900) for k in (1, 2, 3, 4)]
    assert sim.step_count == 4

    def boom(report):
        raise KeyError("stop")
    with pytest.raises(KeyError):
        sim.run(5, boom)
    assert sim.step_count == 5

    def nested(report):
        sim.step()
    with pytest.raises(RuntimeError, match="callback"):
        sim.run(1, nested)


@pytest.mark.parametrize("call,error", [
    (lambda: towngrow.Simulation(4, 10), ValueError),
    (lambda: towngrow.Simulation(10, 10001), ValueError),
    (lambda: towngrow.seed(-1), ValueError),
    (lambda: towngrow.seed(2 ** 32), ValueError),
    (lambda: towngrow.Simulation(10, 10).run(-1), ValueError),
    (lambda: towngrow.Simulation(10, 10, params=[1]), TypeError),
])
def test_bad_arguments_raise(call, error):
    with pytest.raises(error):
        call()


def test_docstrings_and_version():
    assert towngrow.__version__.count(".") == 2
    for obj in (towngrow, towngrow.Simulation, towngrow.seed, towngrow.default_params,
                towngrow.ensemble, towngrow.compare, towngrow.set_message_handler,
                towngrow.Simulation.run, towngrow.Simulation.ids, towngrow.Simulation.load):
        assert obj.__doc__ and len(obj.__doc__) > 40, obj
