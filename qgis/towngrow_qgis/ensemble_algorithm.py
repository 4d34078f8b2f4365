"""towngrow:ensemble: many runs from one start, as `towngrow ensemble`: where each
land use ends, as probability maps."""
import os
import tempfile

from qgis.core import (
    QgsProcessing,
    QgsProcessingException,
    QgsProcessingOutputHtml,
    QgsProcessingParameterEnum,
    QgsProcessingParameterFolderDestination,
    QgsProcessingParameterRasterDestination,
    QgsProcessingParameterRasterLayer,
)

from .common import (
    Canceled,
    warnings_to,
    FolderLeftAsFound,
    TowngrowAlgorithm,
    add_scenario_parameters,
    copy_map,
    progress_of,
    scenario_arguments,
    style_map,
    tiff_output,
)

# The probability maps of `towngrow ensemble`, one per class.
MAPS = ["developed", "housing", "industry", "commerce", "street"]

def start_simulation(towngrow, algorithm, parameters, context):
    """The Simulation of START (or the built-in town), PARAMS and BACKGROUND, in the order
    of the program: land uses, size, start, background."""
    params = algorithm.file_parameter(parameters, "PARAMS", context)
    start = algorithm.layer_file(parameters, "START", context, required=False)
    if start is None:
        sim = towngrow.Simulation(algorithm.parameterAsInt(parameters, "ROWS", context),
                                  algorithm.parameterAsInt(parameters, "COLS", context), params)
        sim.place_starter_town()
    else:
        sim = towngrow.Simulation(5, 5, params)
        sim.load(start)
    background = algorithm.layer_file(parameters, "BACKGROUND", context, required=False)
    if background is not None:
        sim.background = background
    return sim


def add_start_parameters(algorithm):
    """START, ROWS, COLS, BACKGROUND, PARAMS, SCHEDULE and SUITABILITY."""
    algorithm.declare(QgsProcessingParameterRasterLayer(
        "START", "Start map (empty: the built-in town)", optional=True),
        "The start map: a raster file layer of land-use IDs. Empty: the built-in town on ROWS x "
        "COLS cells.")
    algorithm.option("rows", "Rows of the built-in town's grid")
    algorithm.option("cols", "Columns of the built-in town's grid")
    algorithm.declare(QgsProcessingParameterRasterLayer(
        "BACKGROUND", "Background (IDs allowed per cell)", optional=True),
        "Optional: the IDs allowed per cell (bit k for ID k), a raster of the start's size.")
    algorithm.option("params", "Parameter file")
    add_scenario_parameters(algorithm)


def start_arguments(algorithm, parameters, context):
    """The option parameters' values but those start_simulation reads."""
    values = algorithm.option_values(parameters, context)
    for keyword in ("rows", "cols", "params"):
        del values[keyword]
    return values


class EnsembleAlgorithm(TowngrowAlgorithm):
    COMMAND = "ensemble"
    INTRO = """<p>Grows the start RUNS times, run <i>i</i> (from 0) seeded SEED + <i>i</i> x
SEED_STEP, as <code>towngrow ensemble</code> does, and maps for every cell the share of runs that
ended with it in a class: the probability that it is developed (street, housing, industry or
commerce), housing, industry, commerce or street.</p>"""
    OUTRO = """<p>Bad input (a map of another size, an unknown field in the parameter file) ends
the algorithm with one line naming it, nothing written. Cancelling stops after the current run,
nothing written.</p>"""

    def name(self):
        return "ensemble"

    def displayName(self):  # noqa: N802
        return "Ensemble of runs: probability maps"

    def initAlgorithm(self, config=None):  # noqa: N802
        add_start_parameters(self)
        self.option("steps", "Steps")
        self.option("runs", "Runs")
        self.option("seed", "Seed of the first run")
        self.option("seed_step", "Step between the runs' seeds")
        self.option("threads", "Worker threads")
        self.declare(QgsProcessingParameterRasterLayer(
            "OBSERVED", "Observed map after the steps", optional=True),
            "Optional: the map observed after STEPS steps; every run is compared with it (the "
            "measures' mean and deviation over the runs, and the ROC AUC of the probability of "
            "developed, in FOLDER's <code>comparison.json</code>).")
        self.declare(QgsProcessingParameterRasterLayer(
            "START_OF_CHANGE", "Start of the change (default: the start)", optional=True),
            "Optional: the map the change measures count from (default: the start).")
        self.option("classes", "Class file of the comparison")
        self.declare(QgsProcessingParameterEnum(
            "MAP", "Probability map of", MAPS, defaultValue=0),
            "Which probability map is OUTPUT (default developed).")
        self.declare(QgsProcessingParameterRasterDestination(
            "OUTPUT", "Probability map", defaultValue=QgsProcessing.TEMPORARY_OUTPUT),
            "That probability map as a GeoTIFF (the percentage of runs, 0 to 100; 255 no data), "
            "drawn with a ramp from white to dark red (a <code>.qml</code> style beside it).")
        self.declare(QgsProcessingParameterFolderDestination(
            "FOLDER", "Folder of the ensemble (maps, tables, report)", optional=True,
            createByDefault=False),
            "Optional: the folder <code>towngrow ensemble</code> writes (every class's map as "
            "<code>.asc</code>, <code>.tif</code> and <code>.png</code>, "
            "<code>ensemble.csv</code>, <code>ensemble.png</code>, with OBSERVED "
            "<code>comparison.json</code> and <code>comparison.csv</code>, "
            "<code>ensemble.json</code>, <code>report.html</code>); REPORT names the page.")
        self.addOutput(QgsProcessingOutputHtml("REPORT", "Report page"))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        towngrow = self.towngrow()
        output = tiff_output(self, parameters, "OUTPUT", context)
        folder = self.parameterAsString(parameters, "FOLDER", context) or None
        which = MAPS[self.parameterAsEnum(parameters, "MAP", context)]
        observed = self.layer_file(parameters, "OBSERVED", context, required=False)
        change = self.layer_file(parameters, "START_OF_CHANGE", context, required=False)
        values = start_arguments(self, parameters, context)
        if observed is None and (change or values["classes"]):
            raise QgsProcessingException(
                f"{'START_OF_CHANGE' if change else 'CLASSES'}: needs an OBSERVED map")
        try:
            with warnings_to(feedback):
                sim = start_simulation(towngrow, self, parameters, context)
                with FolderLeftAsFound(folder), \
                        tempfile.TemporaryDirectory(prefix="towngrow-ensemble-") as scratch:
                    done = towngrow.ensemble(
                        sim, **values, observed=observed, start_of_change=change,
                        **scenario_arguments(self, parameters, context),
                        out=folder or os.path.join(scratch, "ensemble"),
                        progress=progress_of(feedback, "run"))
                    copy_map(os.path.join(done["out"], which + ".tif"), output)
        except Canceled:
            raise QgsProcessingException("towngrow:ensemble was cancelled; nothing was written")
        except (ValueError, OSError, RuntimeError, MemoryError) as e:
            self.fail(e)
        style_map(context, output)
        if "comparison" in done:
            auc = done["comparison"]["auc"]
            feedback.pushInfo(f"ROC AUC of developed against {observed}: "
                              + ("undefined" if auc is None else f"{auc:.4f}"))
        feedback.pushInfo(f"{values['runs']} runs of {done['steps']} steps; {which} into {output}")
        return {"OUTPUT": output, "FOLDER": folder,
                "REPORT": folder and os.path.join(folder, "report.html")}
