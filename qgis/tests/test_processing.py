"""The provider under headless qgis_process: the algorithms it lists, grow and
compare against the program, refused input, the missing module, the ZIP and
the installation into a profile."""
import csv
import json
import os
import subprocess
import xml.etree.ElementTree as ET
import zipfile

import pytest

from conftest import PLUGIN_PATH, qgis_env, results, run_algorithm, run_in_qgis, run_qgis_process

ALGORITHMS = ["towngrow:calibrate", "towngrow:compare", "towngrow:ensemble", "towngrow:grow",
              "towngrow:prepare"]
# The cases run under qgis_process; the others run in this process (PyQGIS), which
# spares a QGIS start-up each.
UNDER_QGIS_PROCESS = {"start geotiff, background, params", "with start"}


def run_case(request, case, name, params):
    """An algorithm's results, under qgis_process or in this process as the case says."""
    if case in UNDER_QGIS_PROCESS:
        return results(run_algorithm(request.getfixturevalue("qgis"), name, **params))
    result, ok, errors = run_in_qgis(request.getfixturevalue("registry"), name, params)
    assert ok, errors
    return result


def provider_lines(listing):
    """The algorithm lines of the towngrow section of `qgis_process list`."""
    lines = listing.splitlines()
    start = lines.index("towngrow") + 1
    section = []
    for line in lines[start:]:
        if not line.startswith("\t"):
            break
        section.append(line.split("\t")[1])
    return section


def test_list_shows_the_providers_algorithms(qgis):
    done = qgis("list")
    assert done.returncode == 0, done.stderr
    assert provider_lines(done.stdout) == ALGORITHMS


GROW_CASES = {
    # name: (algorithm parameters, program options); maps by name from the fixture
    "start geotiff, background, params": (
        {"START": "start", "BACKGROUND": "background", "PARAMS": "params", "STEPS": 25,
         "SEED": 11},
        ["--start", "start", "--background", "background", "--params", "params",
         "--steps", 25, "--seed", 11]),
    "built-in town, CRS": (
        {"ROWS": 40, "COLS": 57, "STEPS": 30, "SEED": 3, "CRS": "EPSG:32633"},
        ["--rows", 40, "--cols", 57, "--steps", 30, "--seed", 3, "--crs", "EPSG:32633"]),
    "no steps": (
        {"START": "start", "STEPS": 0, "SEED": 4294967295},
        ["--start", "start", "--steps", 0, "--seed", 4294967295]),
}


@pytest.fixture(scope="module")
def params_file(tmp_path_factory):
    path = tmp_path_factory.mktemp("params") / "params.json"
    path.write_text(json.dumps({"landUses": [
        {"id": 3, "name": "Homes, \"small\"", "color": "#C03060", "neighborRadius": 2},
        {"id": 9, "kind": "House", "name": "Villas", "color": "#00FF80"}]}))
    return path


@pytest.mark.parametrize("case", GROW_CASES)
def test_grow_writes_the_end_state_and_stats_of_towngrow_run(request, program, maps, params_file,
                                                             tmp_path, case):
    named = dict(maps, params=params_file)
    params, options = GROW_CASES[case]
    params = {k: named.get(v, v) for k, v in params.items()}
    options = [named.get(v, v) for v in options]
    program("run", *options, "--out", tmp_path / "cli", "--quiet", "--no-png", "--no-gif")
    out = tmp_path / "qgis" / "end.tif"
    done = run_case(request, case, "towngrow:grow",
                    dict(params, OUTPUT=out, FOLDER=tmp_path / "qgis" / "folder"))
    assert done["OUTPUT"] == str(out)
    assert done["STATS"] == str(tmp_path / "qgis" / "folder" / "stats.csv")
    assert out.read_bytes() == (tmp_path / "cli" / "final.tif").read_bytes()
    for name in ("final.tif", "final.asc", "stats.csv"):
        assert ((tmp_path / "qgis" / "folder" / name).read_bytes()
                == (tmp_path / "cli" / name).read_bytes()), name
    assert (tmp_path / "qgis" / "folder" / "report.html").exists()
    assert (tmp_path / "qgis" / "end.qml").exists()


def read_measures(path):
    with open(path, newline="") as f:
        return {row["measure"]: (float(row["value"]) if row["value"] else None)
                for row in csv.DictReader(f)}


COMPARE_CASES = {
    "with start": ({"START": "start"}, ["--start", "start"]),
    "classes, no fuzzy": ({"CLASSES": "classes", "FUZZY": "false"},
                          ["--classes", "classes", "--no-fuzzy"]),
    "halving and radius": ({"START": "start", "HALVING": 1.5, "RADIUS": 2},
                           ["--start", "start", "--halving", 1.5, "--radius", 2]),
}


@pytest.mark.parametrize("case", COMPARE_CASES)
def test_compare_gives_the_measures_of_towngrow_compare(request, program, maps, tmp_path, case):
    classes = tmp_path / "classes.json"
    classes.write_text(json.dumps({"classes": [
        {"name": "urban", "ids": [1, 2, 3, 5], "developed": True},
        {"name": "open", "ids": [0, 6]}]}))
    named = dict(maps, classes=classes)
    params, options = COMPARE_CASES[case]
    params = {k: named.get(v, v) for k, v in params.items()}
    options = [named.get(v, v) for v in options]
    program("compare", maps["observed"], maps["simulated"], *options, "--out", tmp_path / "cli")
    expected = json.loads((tmp_path / "cli" / "compare.json").read_text())["measures"]
    run_case(request, case, "towngrow:compare",
             dict(params, OBSERVED=maps["observed"], SIMULATED=maps["simulated"],
                  MEASURES=tmp_path / "measures.csv", OUTPUT=tmp_path / "agreement.tif"))
    assert ((tmp_path / "agreement.tif").read_bytes()
            == (tmp_path / "cli" / "agreement.tif").read_bytes())
    request.getfixturevalue("registry")
    from qgis.core import QgsRasterLayer

    names = [c.text for c in ET.parse(tmp_path / "cli" / "agreement.tif.aux.xml").iter("Category")]
    layer = QgsRasterLayer(str(tmp_path / "agreement.tif"), "agreement", "gdal")  # its .qml
    assert [(c.value, c.label) for c in layer.renderer().classes()] == [
        (value, name) for value, name in enumerate(names) if name]
    got = read_measures(tmp_path / "measures.csv")
    assert sorted(got) == sorted(expected)
    for name, value in expected.items():
        assert got[name] == (None if value is None else pytest.approx(value, rel=1e-12)), name


REFUSED = [
    # (algorithm, parameters, what the one line names)
    ("towngrow:grow", {"START": "start", "BACKGROUND": "small"}, ["small.asc", "background"]),
    ("towngrow:grow", {"PARAMS": "bad_params"}, ["bad.json", "wrongField"]),
]


@pytest.mark.parametrize("algorithm,params,named", REFUSED)
def test_bad_input_ends_with_one_line_and_writes_nothing(qgis, maps, tmp_path, algorithm,
                                                         params, named):
    (tmp_path / "bad.json").write_text('{"landUses": [{"id": 3, "wrongField": 1}]}')
    (tmp_path / "classes.json").write_text('{"classes": [{"name": "a", "ids": [1]}, '
                                          '{"name": "b", "ids": [1]}]}')
    files = dict(maps, bad_params=tmp_path / "bad.json", bad_classes=tmp_path / "classes.json")
    params = {k: files.get(v, v) for k, v in params.items()}
    out = tmp_path / "out"
    outputs = ({"OUTPUT": out / "end.tif", "FOLDER": out / "folder"}
               if algorithm == "towngrow:grow" else {"MEASURES": out / "measures.csv"})
    done = run_algorithm(qgis, algorithm, json_out=False, **params, **outputs)
    assert done.returncode != 0
    errors = [line for line in done.stdout.splitlines() + done.stderr.splitlines()
              if line.startswith("ERROR:")]
    assert len(errors) == 1, done.stdout + done.stderr
    for word in named:
        assert word in errors[0]
    assert errors[0].split("\t", 1)[1] in done.stderr.splitlines()
    assert not out.exists() or not any(out.rglob("*"))


def test_a_missing_module_is_named_in_qgis(tmp_path):
    env = qgis_env(tmp_path, pythonpath="")
    if subprocess.run(["/usr/bin/python3", "-c", "import towngrow"], env=env,
                      capture_output=True).returncode == 0:
        pytest.skip("a towngrow module is installed for the system's python3")
    assert run_qgis_process(env, "plugins", "enable", "towngrow_qgis").returncode == 0
    done = run_qgis_process(env, "run", "towngrow:grow", "--", f"OUTPUT={tmp_path / 'x.tif'}")
    assert done.returncode != 0
    assert "the towngrow Python module is not installed" in done.stdout + done.stderr
    assert not (tmp_path / "x.tif").exists()


def plugin_files():
    return sorted(p.name for p in (PLUGIN_PATH / "towngrow_qgis").iterdir()
                  if p.suffix in (".py", ".txt", ".svg"))


def install_from_zip(profile, scratch):
    """What Plugins > Install from ZIP does: the ZIP unpacked into the profile's plugins."""
    with zipfile.ZipFile(os.environ["TOWNGROW_QGIS_ZIP"]) as z:
        names = [n for n in z.namelist() if not n.endswith("/")]
        assert {n.split("/", 1)[0] for n in names} == {"towngrow_qgis"}
        z.extractall(profile / "python" / "plugins")


def install_with_cmake(profile, scratch):
    subprocess.run(["cmake", "-S", PLUGIN_PATH, "-B", scratch / "build",
                    f"-DTOWNGROW_QGIS_PROFILE={profile}"], check=True, capture_output=True)
    subprocess.run(["cmake", "--install", scratch / "build"], check=True, capture_output=True)


@pytest.mark.parametrize("install", [install_from_zip, install_with_cmake])
def test_an_installed_plugin_is_found_by_qgis(tmp_path, install):
    profile = tmp_path / ".local" / "share" / "QGIS" / "QGIS3" / "profiles" / "default"
    install(profile, tmp_path)
    installed = profile / "python" / "plugins" / "towngrow_qgis"
    assert sorted(p.name for p in installed.iterdir()) == plugin_files()
    for name in plugin_files():
        source = PLUGIN_PATH / "towngrow_qgis" / name
        assert (installed / name).read_bytes() == source.read_bytes()
    if install is install_with_cmake:
        return  # the same files as from the ZIP, which QGIS is shown to find
    env = qgis_env(tmp_path, plugin_path=None)
    assert run_qgis_process(env, "plugins", "enable", "towngrow_qgis").returncode == 0
    assert provider_lines(run_qgis_process(env, "list").stdout) == ALGORITHMS
