"""The workflow inside QGIS (PyQGIS, one QGIS start-up): prepare, ensemble and
calibrate against the program on small layers made here, a cancelled
calibration going on from its finished points, the example model end to end,
and refused input."""
import json
import pathlib
import re
import sys

import pytest
import towngrow

from conftest import LAYER_MAKERS, PLUGIN_PATH, run_in_qgis

from qgis.core import (QgsPalettedRasterRenderer, QgsProcessingContext, QgsProcessingFeedback,
                       QgsProcessingModelAlgorithm, QgsRasterLayer,
                       QgsSingleBandPseudoColorRenderer)

sys.path.insert(0, str(LAYER_MAKERS))
from test_prepare import make_layers  # noqa: E402

MODEL = PLUGIN_PATH.parent / "examples" / "qgis" / "prepare-calibrate-project.model3"
SPACE = [{"id": 3, "field": "activeAge", "values": [5, 20]},
         {"id": 5, "field": "housePercent", "values": [10, 30]}]


@pytest.fixture(scope="module")
def layers(tmp_path_factory):
    folder = tmp_path_factory.mktemp("layers")
    make_layers(folder)
    (folder / "space.json").write_text(json.dumps(SPACE))
    return folder


def prepare_parameters(layers):
    return {"LANDCOVER": layers / "landcover.tif", "ROADS": layers / "roads.gpkg",
            "ROADS_WHERE": "year <= 1990", "EXCLUDED": layers / "park.gpkg",
            "EXCLUDED_ALLOW": "0, 2", "OBSERVED": [str(layers / "urban-2000.tif")],
            "OBSERVED_STEPS": "10"}


@pytest.fixture(scope="module")
def prepared(registry, layers, tmp_path_factory):
    folder = tmp_path_factory.mktemp("prepared")
    result, ok, errors = run_in_qgis(registry, "towngrow:prepare", dict(
        prepare_parameters(layers), FOLDER=folder / "maps", RECIPE=folder / "recipe.json"))
    assert ok, errors
    return result


def test_prepare_makes_the_maps_of_towngrow_prepare_from_the_saved_recipe(prepared, program,
                                                                        tmp_path):
    program("prepare", prepared["RECIPE"], "--out", tmp_path / "cli")
    folder = pathlib.Path(prepared["FOLDER"])
    for name in ("start.tif", "background.tif", "observed-10.tif", "classes.json"):
        assert (folder / name).read_bytes() == (tmp_path / "cli" / name).read_bytes(), name
    assert (prepared["OUTPUT"], prepared["BACKGROUND"], prepared["CONTROL_MAPS"],
            prepared["CONTROL_STEPS"], prepared["CLASSES"]) == (
        str(folder / "start.tif"), str(folder / "background.tif"),
        [str(folder / "observed-10.tif")], "10", str(folder / "classes.json"))
    recipe = json.loads(pathlib.Path(prepared["RECIPE"]).read_text())
    assert [layer.get("as") for layer in recipe["start"]] == [None, "street", 6]
    assert recipe["background"][0]["allow"] == [0, 2]
    layer = QgsRasterLayer(prepared["OUTPUT"], "start", "gdal")
    renderer = layer.renderer()
    assert isinstance(renderer, QgsPalettedRasterRenderer)  # from start.qml
    assert [(c.value, c.label) for c in renderer.classes()] == sorted(
        (u["id"], u["name"]) for u in towngrow.default_params()["landUses"])


def test_ensemble_gives_the_probability_map_of_towngrow_ensemble(registry, prepared, program,
                                                                 tmp_path):
    program("ensemble", "--start", prepared["OUTPUT"], "--background", prepared["BACKGROUND"],
            "--steps", 8, "--runs", 3, "--seed", 4, "--seed-step", 2, "--observed",
            prepared["CONTROL_MAPS"][0], "--out", tmp_path / "cli", "--quiet")
    result, ok, errors = run_in_qgis(registry, "towngrow:ensemble", {
        "START": prepared["OUTPUT"], "BACKGROUND": prepared["BACKGROUND"], "STEPS": 8,
        "RUNS": 3, "SEED": 4, "SEED_STEP": 2, "OBSERVED": prepared["CONTROL_MAPS"][0],
        "MAP": 1, "OUTPUT": tmp_path / "housing.tif", "FOLDER": tmp_path / "folder"})
    assert ok, errors
    assert ((tmp_path / "housing.tif").read_bytes()
            == (tmp_path / "cli" / "housing.tif").read_bytes())
    for name in ("developed.tif", "comparison.csv"):
        assert ((tmp_path / "folder" / name).read_bytes()
                == (tmp_path / "cli" / name).read_bytes()), name
    layer = QgsRasterLayer(result["OUTPUT"], "p", "gdal")
    renderer = layer.renderer()
    assert isinstance(renderer, QgsSingleBandPseudoColorRenderer)
    ramp = renderer.shader().rasterShaderFunction().colorRampItemList()
    assert [(i.value, i.color.name()) for i in (ramp[0], ramp[-1])] == [(0, "#ffffff"),
                                                                       (100, "#67000d")]


class CancelAfter(QgsProcessingFeedback):
    """Cancels once `points` points have reported; counts the reports."""

    def __init__(self, points):
        super().__init__()
        self.reports, self.points = 0, points
        self.progressChanged.connect(self.report)

    def report(self, _):
        self.reports += 1
        if self.reports == self.points:
            self.cancel()


def calibration(prepared, layers, folder):
    return {"START": prepared["OUTPUT"], "OBSERVED": prepared["CONTROL_MAPS"],
            "OBSERVED_STEPS": prepared["CONTROL_STEPS"], "CLASSES": prepared["CLASSES"],
            "SPACE": layers / "space.json", "RUNS": 2, "FOLDER": folder,
            "OUTPUT": folder.parent / (folder.name + "-best.json"),
            "RANKING": folder.parent / (folder.name + "-ranking.csv")}


def test_a_cancelled_calibration_goes_on_from_its_finished_points(registry, prepared, layers,
                                                                   tmp_path):
    import sqlite3

    stopped = CancelAfter(2)
    result, ok, errors = run_in_qgis(registry, "towngrow:calibrate",
                                     calibration(prepared, layers, tmp_path / "fit"), stopped)
    assert not ok
    with sqlite3.connect(tmp_path / "fit" / "calibration.sqlite") as db:
        [(kept,)] = db.execute("SELECT count(*) FROM points").fetchall()
    assert kept == 3  # the point that finished as the cancel was seen is kept too
    assert not (tmp_path / "fit" / "ranking.csv").exists()
    resumed = CancelAfter(0)
    result, ok, errors = run_in_qgis(registry, "towngrow:calibrate",
                                     calibration(prepared, layers, tmp_path / "fit"), resumed)
    assert ok, errors
    assert resumed.reports == 1  # only the fourth point ran
    fresh, ok, errors = run_in_qgis(registry, "towngrow:calibrate",
                                    calibration(prepared, layers, tmp_path / "whole"))
    assert ok, errors
    assert ((tmp_path / "fit" / "ranking.csv").read_bytes()
            == (tmp_path / "whole" / "ranking.csv").read_bytes())
    assert (pathlib.Path(result["OUTPUT"]).read_bytes()
            == (tmp_path / "fit" / "best.json").read_bytes())
    rows = (tmp_path / "fit-ranking.csv").read_text().splitlines()
    assert len(rows) == 5 and rows[0].startswith("rank,point,id3_activeAge,id5_housePercent,")


def test_the_model_prepares_calibrates_and_projects(registry, layers, tmp_path):
    model = QgsProcessingModelAlgorithm()
    assert model.fromFile(str(MODEL))
    inputs = {"LANDCOVER": str(layers / "landcover.tif"), "ROADS": str(layers / "roads.gpkg"),
              "EXCLUDED": str(layers / "park.gpkg"),
              "OBSERVED": [str(layers / "urban-2000.tif")], "OBSERVED_STEPS": "10",
              "SPACE": str(layers / "space.json"), "RUNS": 2, "STEPS": 12,
              "prepare:Prepared maps": str(tmp_path / "maps"),
              "calibrate:Calibration": str(tmp_path / "fit"),
              "ensemble:Probability of development": str(tmp_path / "developed.tif")}
    model.initAlgorithm()
    feedback = QgsProcessingFeedback()
    result, ok = model.run(inputs, QgsProcessingContext(), feedback)
    assert ok, feedback.textLog()
    # The projection grows the prepared start with the calibration's best point.
    best = json.loads((tmp_path / "fit" / "best.json").read_text())
    assert best["run"]["point"] in (tmp_path / "fit" / "ranking.csv").read_text().splitlines()[1]
    again, ok, errors = run_in_qgis(registry, "towngrow:ensemble", {
        "START": tmp_path / "maps" / "start.tif", "BACKGROUND": tmp_path / "maps" /
        "background.tif", "PARAMS": tmp_path / "fit" / "best.json", "STEPS": 12, "RUNS": 2,
        "OUTPUT": tmp_path / "again.tif"})
    assert ok, errors
    assert (tmp_path / "again.tif").read_bytes() == (tmp_path / "developed.tif").read_bytes()


REFUSED = [
    # (algorithm, parameters (layers by name), words of the one line)
    ("towngrow:ensemble", {"START": "start", "OBSERVED": "small", "STEPS": 2, "RUNS": 1},
     ["observed", "20 x 20"]),
    ("towngrow:calibrate", {"START": "start", "OBSERVED": ["observed"],
                            "OBSERVED_STEPS": "10, 20", "SPACE": "space"},
     ["OBSERVED_STEPS", "2 steps given for 1 layers"]),
    ("towngrow:calibrate", {"START": "start", "OBSERVED": ["observed"], "OBSERVED_STEPS": "10",
                            "SPACE": "bad_space"}, ["bad-space.json", "nosuchField"]),
    ("towngrow:calibrate", {"START": "start", "OBSERVED": ["observed"], "OBSERVED_STEPS": "10",
                            "SPACE": "space", "METHOD": 4},
     ["METHOD cmaes needs EVALUATIONS N"]),
    ("towngrow:prepare", {"LANDCOVER": "landcover", "LANDCOVER_CLASSES": ["9-1", "3"]},
     ['classes["9-1"]', "the range is reversed"]),
    ("towngrow:compare", {"OBSERVED": "observed", "SIMULATED": "observed",
                          "CLASSES": "bad_classes"}, ["bad-classes.json", "ID 1"]),
]


@pytest.mark.parametrize("algorithm,params,named", REFUSED)
def test_bad_input_ends_with_one_line_and_writes_nothing(registry, prepared, layers, tmp_path,
                                                         algorithm, params, named):
    (tmp_path / "bad-space.json").write_text('[{"id": 3, "field": "nosuchField", "values": [1]}]')
    (tmp_path / "bad-classes.json").write_text('{"classes": [{"name": "a", "ids": [1]}, '
                                               '{"name": "b", "ids": [1]}]}')
    towngrow.Simulation(20, 20).save(str(tmp_path / "small.tif"))
    named_files = {"start": prepared["OUTPUT"], "observed": prepared["CONTROL_MAPS"][0],
                   "small": str(tmp_path / "small.tif"), "space": str(layers / "space.json"),
                   "bad_space": str(tmp_path / "bad-space.json"),
                   "bad_classes": str(tmp_path / "bad-classes.json"),
                   "landcover": str(layers / "landcover.tif")}
    params = {k: [named_files[x] for x in v] if isinstance(v, list) and k != "LANDCOVER_CLASSES"
              else named_files.get(v, v) if isinstance(v, str) else v
              for k, v in params.items()}
    out = tmp_path / "out"
    outputs = {"towngrow:ensemble": {"OUTPUT": out / "p.tif", "FOLDER": out / "folder"},
               "towngrow:calibrate": {"FOLDER": out / "fit", "OUTPUT": out / "best.json",
                                      "RANKING": out / "ranking.csv"},
               "towngrow:prepare": {"FOLDER": out / "maps", "RECIPE": out / "recipe.json"},
               "towngrow:compare": {"MEASURES": out / "measures.csv"}}[algorithm]
    result, ok, errors = run_in_qgis(registry, algorithm, dict(params, **outputs))
    assert not ok
    assert len(errors) == 1 and "\n" not in errors[0], errors
    for word in named:
        assert word in errors[0]
    assert not out.exists() or not [p for p in out.rglob("*") if p.is_file()]


@pytest.mark.parametrize("name", ["towngrow:prepare", "towngrow:grow", "towngrow:ensemble",
                                  "towngrow:calibrate", "towngrow:compare"])
def test_the_help_names_exactly_the_parameters_each_with_its_help(registry, name):
    algorithm = registry.algorithmById(name)
    text = algorithm.shortHelpString()
    assert re.findall(r"<dt>(\w+)</dt><dd>[^<]", text) == [
        p.name() for p in algorithm.parameterDefinitions()] and "--" not in text


class WarningLog(QgsProcessingFeedback):
    def __init__(self):
        super().__init__()
        self.lines = []

    def pushWarning(self, text):  # noqa: N802
        self.lines.append(text)


def test_the_modules_warnings_go_to_the_processing_log(registry, layers, tmp_path):
    log = WarningLog()
    result, ok, errors = run_in_qgis(registry, "towngrow:prepare", {
        "LANDCOVER": layers / "landcover.tif", "LANDCOVER_CLASSES": ["41", "12"],
        "FOLDER": tmp_path / "maps"}, log)
    assert ok, errors
    assert len(log.lines) == 1 and "ID 12 is no land use" in log.lines[0], log.lines
