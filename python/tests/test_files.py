"""Map files: every format the program writes, byte for byte, and refused files."""
import os
import pathlib

import numpy as np
import pytest

import towngrow
from conftest import read_asc

FORMATS = ["asc", "e00", "flt", "xya", "dat", "tif"]


@pytest.fixture(scope="module")
def town(program, tmp_path_factory):
    """A grown town as the program wrote it, and the same town in Python."""
    folder = tmp_path_factory.mktemp("run")
    program("run", "--rows", 30, "--cols", 45, "--seed", 9, "--steps", 25, "--out", folder,
            "--quiet", "--no-png", "--no-gif")
    towngrow.seed(9)
    sim = towngrow.Simulation(30, 45)
    sim.place_starter_town()
    sim.run(25)
    return folder, sim


def siblings(path):
    """The file and the files written beside it (.hdr, .aux.xml)."""
    return sorted(p.name.replace(path.stem, "X") for p in path.parent.glob(path.stem + ".*"))


@pytest.mark.parametrize("ext", FORMATS)
def test_save_writes_what_convert_writes(program, town, tmp_path, ext):
    folder, sim = town
    (tmp_path / "py").mkdir()
    (tmp_path / "cli").mkdir()
    mine = tmp_path / "py" / f"map.{ext}"
    sim.save(pathlib.Path(mine))
    theirs = tmp_path / "cli" / f"map.{ext}"
    program("convert", folder / "final.asc", theirs)
    assert siblings(mine) == siblings(theirs)
    for name in os.listdir(tmp_path / "cli"):
        assert (tmp_path / "py" / name).read_bytes() == (tmp_path / "cli" / name).read_bytes(), name


@pytest.mark.parametrize("ext", FORMATS)
def test_load_reads_every_format(town, tmp_path, ext):
    folder, sim = town
    path = tmp_path / f"map.{ext}"
    sim.save(str(path))
    other = towngrow.Simulation(5, 5)
    other.load(path)
    assert other.shape == (30, 45) and other.step_count == 0
    np.testing.assert_array_equal(other.ids, read_asc(folder / "final.asc"))
    assert not other.ages.any()


@pytest.mark.parametrize("text,match", [
    (None, "no such file"),
    ("ncols 6\nnrows 5\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n"
     + "0 0 0 0 0 0\n" * 4, "row"),
    ("ncols 6\nnrows 5\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n"
     + "0 0 0 0 0 x\n" * 5, ""),
    ("not a map at all\n", ""),
])
def test_refused_files_raise_os_error_and_change_nothing(tmp_path, text, match):
    path = tmp_path / "bad.asc"
    if text is not None:
        path.write_text(text)
    sim = towngrow.Simulation(8, 8)
    sim.place_starter_town()
    before = sim.ids.copy()
    with pytest.raises(OSError, match=match) as caught:
        sim.load(path)
    assert str(path) in str(caught.value)
    np.testing.assert_array_equal(sim.ids, before)


def test_save_failure_raises_os_error_and_leaves_nothing(tmp_path):
    sim = towngrow.Simulation(8, 8)
    with pytest.raises(OSError):
        sim.save(tmp_path / "missing" / "map.asc")
    with pytest.raises(OSError):
        sim.save(tmp_path / "map.unknown")
    assert list(tmp_path.iterdir()) == []


def test_unknown_ids_warn_and_the_crs_is_kept(tmp_path):
    sim = towngrow.Simulation(10, 10)
    sim.ids[2, 2] = 77
    sim.crs = "EPSG:32633"
    sim.save(tmp_path / "m.tif")
    other = towngrow.Simulation(10, 10)
    with pytest.warns(towngrow.TowngrowWarning, match="77"):
        other.load(tmp_path / "m.tif")
    assert "32633" in other.crs
    with pytest.raises(ValueError):
        other.crs = "no such reference system"
