"""The GIL released while C++ runs, one call per simulation, the library's messages."""
import threading
import warnings

import numpy as np
import pytest

import towngrow

# An extra commerce land use: commerce cells of ID 9 give the library's notice.
RENAMED_COMMERCE = {"landUses": [{"id": 9, "kind": "Commerce"}]}


def grow(seed, size=60, steps=40):
    towngrow.seed(seed)
    sim = towngrow.Simulation(size, size)
    sim.place_starter_town()
    sim.run(steps)
    return sim.ids.copy()


def test_threads_grow_separate_towns_as_sequential_runs():
    expected = {seed: grow(seed) for seed in (1, 2, 3)}
    got = {}
    threads = [threading.Thread(target=lambda s=seed: got.__setitem__(s, grow(s)))
               for seed in expected]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for seed, ids in expected.items():
        np.testing.assert_array_equal(got[seed], ids)


def test_python_runs_while_a_simulation_runs():
    towngrow.seed(1)
    sim = towngrow.Simulation(500, 500)
    sim.place_starter_town()
    worker = threading.Thread(target=sim.run, args=(100,))
    loops = 0
    worker.start()
    while worker.is_alive():
        loops += 1
    worker.join()
    # This thread went on all through the steps: held, the lock would have let it
    # loop a handful of times at most.
    assert loops > 1000


def test_a_busy_simulation_refuses_other_threads(tmp_path):
    sim = towngrow.Simulation(300, 300)
    sim.place_starter_town()
    started, refused = threading.Event(), []

    def other(report):
        started.set()
        return report["step"] < 2000 and not refused

    def intruder():
        started.wait()
        for call in (lambda: sim.step(), lambda: sim.ids, lambda: sim.save(tmp_path / "x.asc")):
            with pytest.raises(RuntimeError, match="another thread"):
                call()
            refused.append(call)

    t = threading.Thread(target=intruder)
    t.start()
    sim.run(2000, other)
    t.join()
    assert len(refused) == 3


def test_messages_go_to_the_handler_or_to_warnings():
    got = []
    assert towngrow.set_message_handler(got.append) is None
    try:
        towngrow.seed(1)
        sim = towngrow.Simulation(60, 60, RENAMED_COMMERCE)
        sim.place_starter_town()
        sim.run(40)
    finally:
        assert towngrow.set_message_handler(None) == got.append
    assert set(got) == {"Yes,You have changed the Industry setting,..",
                        "Yes,You have changed the Commerce setting,.."}

    towngrow.seed(1)
    sim = towngrow.Simulation(60, 60, RENAMED_COMMERCE)
    sim.place_starter_town()
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        sim.run(40)
    assert len(caught) == len(got)
    assert all(w.category is towngrow.TowngrowWarning for w in caught)


def test_a_raising_handler_ends_the_call():
    def handler(text):
        raise LookupError(text)

    towngrow.set_message_handler(handler)
    try:
        towngrow.seed(1)
        sim = towngrow.Simulation(60, 60, RENAMED_COMMERCE)
        sim.place_starter_town()
        with pytest.raises(LookupError, match="changed"):
            sim.run(40)
    finally:
        towngrow.set_message_handler(None)
    assert 0 < sim.step_count < 40
    with pytest.raises(TypeError):
        towngrow.set_message_handler(42)


def test_messages_of_ensemble_workers_reach_the_handler():
    got = []
    towngrow.set_message_handler(lambda text: got.append(threading.get_ident()))
    try:
        start = towngrow.Simulation(60, 60, RENAMED_COMMERCE)
        start.place_starter_town()
        towngrow.ensemble(start, 40, 4, threads=2)
    finally:
        towngrow.set_message_handler(None)
    assert got and threading.get_ident() not in got
