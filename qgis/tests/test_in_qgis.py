"""The plugin inside QGIS (PyQGIS, headless): the styled end state drawn by
QGIS's own renderer, its legend's classes, and cancelling through the
Processing feedback."""
import json
import sys

import numpy as np
import pytest

from conftest import PLUGIN_PATH

from qgis.core import (QgsPalettedRasterRenderer, QgsProcessingContext, QgsProcessingFeedback,
                       QgsProject)

sys.path.insert(0, str(PLUGIN_PATH))
import render_map  # noqa: E402
import towngrow  # noqa: E402

PARAMS = {"landUses": [{"id": 3, "name": "Housing estate", "color": "#A02080"},
                       {"id": 5, "name": "Shops", "color": "#10C0F0"}]}


def run(registry, name, params, feedback=None):
    algorithm = registry.createAlgorithmById(name)
    context = QgsProcessingContext()
    feedback = feedback or QgsProcessingFeedback()
    return algorithm.run(params, context, feedback)


@pytest.fixture(scope="module")
def grown(registry, tmp_path_factory):
    """A town grown by towngrow:grow with a parameter file of other names and colours."""
    folder = tmp_path_factory.mktemp("grown")
    (folder / "params.json").write_text(json.dumps(PARAMS))
    out = folder / "final.tif"
    result, ok = run(registry, "towngrow:grow", {"ROWS": 60, "COLS": 80, "STEPS": 40, "SEED": 2,
                                                 "PARAMS": str(folder / "params.json"),
                                                 "OUTPUT": str(out)})
    assert ok, result
    return out, towngrow.Simulation(5, 5, str(folder / "params.json")).params


def test_the_end_state_opens_with_the_land_uses_classes_and_names(grown):
    out, params = grown
    layer = render_map.open_map(str(out))
    renderer = layer.renderer()
    assert isinstance(renderer, QgsPalettedRasterRenderer)
    got = [(c.value, c.label, c.color.name().upper()) for c in renderer.classes()]
    expected = sorted((u["id"], u["name"], u["color"].upper()) for u in params["landUses"])
    assert got == expected
    legend = [text for text, _ in renderer.legendSymbologyItems()]
    assert legend == [name for _, name, _ in expected]


def test_the_picture_shows_the_land_uses_in_their_shares_and_the_legend_beside(grown, tmp_path):
    out, params = grown
    sim = towngrow.Simulation(5, 5)
    sim.load(str(out))
    ids = sim.ids.copy()
    colours = {int(u["color"][1:], 16): u["id"] for u in params["landUses"]}
    image = render_map.render_with_legend(render_map.open_map(str(out)), str(tmp_path / "t.png"),
                                          "towngrow:grow", dpi=96)
    px = 96 / 25.4  # pixels per mm; the map is 160 x 120 mm: 2 mm per cell
    x0, y0 = (v * px for v in render_map.MAP_ORIGIN_MM)
    centres = np.array([[image.pixel(int(x0 + (c + 0.5) * 2 * px), int(y0 + (r + 0.5) * 2 * px))
                         & 0xFFFFFF for c in range(80)] for r in range(60)])
    assert (np.vectorize(lambda c: colours.get(c, -1))(centres) == ids).all()
    beside = {image.pixel(x, y) & 0xFFFFFF for x in range(int(x0 + 165 * px), image.width())
              for y in range(image.height())}
    assert {0xA02080, 0x10C0F0} <= beside  # the legend's swatches


def test_cancelling_stops_the_run_and_writes_nothing(registry, tmp_path):
    feedback = QgsProcessingFeedback()
    feedback.progressChanged.connect(lambda p: p >= 30 and feedback.cancel())
    out = tmp_path / "end.tif"
    result, ok = run(registry, "towngrow:grow", {"STEPS": 50, "ROWS": 40, "COLS": 40,
                                                 "OUTPUT": str(out),
                                                 "FOLDER": str(tmp_path / "folder")}, feedback)
    assert not ok
    assert list(tmp_path.iterdir()) == []


def test_processing_loads_the_end_state_with_the_land_uses_names(registry):
    sys.path.insert(0, "/usr/share/qgis/python/plugins")  # Processing's own plugin
    from processing.core.Processing import Processing

    Processing.initialize()
    import processing

    project = QgsProject.instance()
    context = QgsProcessingContext()
    context.setProject(project)
    result = processing.runAndLoadResults(
        "towngrow:grow", {"ROWS": 30, "COLS": 30, "STEPS": 5, "OUTPUT": "TEMPORARY_OUTPUT"},
        context=context)
    [layer] = [x for x in project.mapLayers().values() if x.source() == result["OUTPUT"]]
    labels = [(c.value, c.label) for c in layer.renderer().classes()]
    assert labels == [(u["id"], u["name"])
                      for u in sorted(towngrow.default_params()["landUses"], key=lambda u: u["id"])]
    project.removeAllMapLayers()
