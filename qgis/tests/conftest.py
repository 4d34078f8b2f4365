"""Headless QGIS for the plugin's tests: qgis_process in a profile of its own,
the program of this build, and small maps the tests make."""
import json
import os
import pathlib
import subprocess

import numpy as np
import pytest

PLUGIN_PATH = pathlib.Path(__file__).resolve().parents[1]
# The module's tests make small layers with GDAL (test_prepare.make_layers).
LAYER_MAKERS = PLUGIN_PATH.parent / "python" / "tests"


def qgis_env(home, plugin_path=PLUGIN_PATH, pythonpath=None):
    env = dict(os.environ, HOME=str(home), QT_QPA_PLATFORM="offscreen",
               XDG_RUNTIME_DIR=str(home))
    if plugin_path is not None:
        env["QGIS_PLUGINPATH"] = str(plugin_path)
    else:
        env.pop("QGIS_PLUGINPATH", None)
    if pythonpath is not None:
        env["PYTHONPATH"] = pythonpath
    return env


def run_qgis_process(env, *args):
    exe = os.environ.get("TOWNGROW_QGIS_PROCESS", "qgis_process.bin")
    return subprocess.run([exe, *map(str, args)], env=env, capture_output=True, text=True,
                          timeout=300)


@pytest.fixture(scope="session")
def qgis(tmp_path_factory):
    """Runs qgis_process with the plugin enabled in a fresh profile; returns the
    finished process."""
    home = tmp_path_factory.mktemp("home")
    env = qgis_env(home)
    enabled = run_qgis_process(env, "plugins", "enable", "towngrow_qgis")
    assert enabled.returncode == 0, enabled.stderr

    def run(*args, **extra):
        return run_qgis_process(dict(env, **extra), *args)

    run.env = env
    return run


def run_algorithm(qgis, name, json_out=True, **params):
    """`qgis_process run` with PARAM=value arguments (lists repeat the parameter)."""
    args = []
    for key, value in params.items():
        for v in value if isinstance(value, list) else [value]:
            args.append(f"{key}={v}")
    return qgis(*(["--json"] if json_out else []), "run", name, "--", *args)


def results(done):
    assert done.returncode == 0, done.stdout + done.stderr
    return json.loads(done.stdout)["results"]


@pytest.fixture(scope="session")
def program():
    """Runs the towngrow program of this build (TOWNGROW_EXE, set by CTest)."""
    exe = os.environ.get("TOWNGROW_EXE")
    if not exe or not os.path.exists(exe):
        pytest.skip("TOWNGROW_EXE does not name the towngrow program")

    def run(*args):
        return subprocess.run([exe, *map(str, args)], check=True, capture_output=True,
                              text=True)

    return run


@pytest.fixture(scope="session")
def maps(program, tmp_path_factory):
    """A start GeoTIFF with a CRS (a grown town, three cells of ID 7), an observed and a simulated
    map later, a background that forbids industry in the left half, and a
    background of another size."""
    folder = tmp_path_factory.mktemp("maps")
    program("run", "--rows", 36, "--cols", 48, "--steps", 12, "--seed", 5, "--crs",
            "EPSG:32633", "--every", 12, "--format", "tif", "--out", folder / "past",
            "--quiet", "--no-png", "--no-gif")
    program("run", "--start", folder / "past" / "final.tif", "--steps", 10, "--seed", 6,
            "--out", folder / "obs", "--quiet", "--no-png", "--no-gif")
    program("run", "--start", folder / "past" / "final.tif", "--steps", 10, "--seed", 7,
            "--out", folder / "sim", "--quiet", "--no-png", "--no-gif")
    # The start holds a few cells of an ID no land use has (they never change).
    import towngrow

    sim = towngrow.Simulation(5, 5)
    sim.load(str(folder / "past" / "final.tif"))
    sim.ids[0, :3] = 7
    sim.save(str(folder / "start.tif"))
    allowed = np.full((36, 48), 255, dtype=np.int64)
    allowed[:, :24] = 255 & ~(1 << 4)
    write_asc(folder / "background.asc", allowed)
    write_asc(folder / "small.asc", np.full((20, 20), 255))
    return {
        "start": folder / "start.tif",
        "observed": folder / "obs" / "final.tif",
        "simulated": folder / "sim" / "final.tif",
        "background": folder / "background.asc",
        "small": folder / "small.asc",
    }


def write_asc(path, values):
    rows, cols = values.shape
    head = (f"ncols {cols}\nnrows {rows}\nxllcorner 0\nyllcorner 0\ncellsize 10\n"
            "NODATA_value -9999\n")
    body = "\n".join(" ".join(str(int(v)) for v in row) for row in values)
    pathlib.Path(path).write_text(head + body + "\n")


@pytest.fixture(scope="session")
def registry():
    """QGIS started in this process (PyQGIS) with the provider: the algorithms run
    as Processing runs them, without a qgis_process start-up per case."""
    from qgis.core import QgsApplication

    import sys
    sys.path.insert(0, str(PLUGIN_PATH))
    from towngrow_qgis.provider import TowngrowProvider

    app = QgsApplication([], False)
    app.initQgis()
    provider = TowngrowProvider()  # the registry does not keep the Python object alive
    assert QgsApplication.processingRegistry().addProvider(provider)
    yield QgsApplication.processingRegistry()
    app.exitQgis()


def run_in_qgis(registry, name, params, feedback=None):
    """Runs an algorithm in this process; answers (results, ok, the error lines)."""
    from qgis.core import QgsProcessingContext, QgsProcessingFeedback

    class Feedback(QgsProcessingFeedback):
        errors = []

        def reportError(self, text, fatal=False):  # noqa: N802
            self.errors.append(text)

    feedback = feedback or Feedback()
    feedback.errors = []
    algorithm = registry.createAlgorithmById(name)
    result, ok = algorithm.run({k: str(v) if isinstance(v, pathlib.Path) else v
                                for k, v in params.items()}, QgsProcessingContext(), feedback)
    return result, ok, feedback.errors
