"""towngrow:ensemble: many runs from one start, as `towngrow ensemble`: where each
land use ends, as probability maps."""
import os
import tempfile

from qgis.core import (
    QgsProcessing,
    QgsProcessingException,
    QgsProcessingOutputHtml,
    QgsProcessingParameterEnum,
    QgsProcessingParameterFile,
    QgsProcessingParameterFolderDestination,
    QgsProcessingParameterNumber,
    QgsProcessingParameterRasterDestination,
    QgsProcessingParameterRasterLayer,
)

from .common import (
    SCENARIO_HELP,
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

HELP = """<p>Grows the start RUNS times, run <i>i</i> (from 0) seeded SEED + <i>i</i> x SEED_STEP,
as <code>towngrow ensemble</code> with the same options, and maps for every cell the share of runs
that ended with it in a class: the probability that it is developed (street, housing, industry or
commerce), housing, industry, commerce or street.</p>
<h3>Parameters</h3>
<dl>
<dt>START</dt><dd>The start map (<code>--start</code>): a raster file layer of land-use IDs. Empty:
the built-in town on ROWS x COLS cells.</dd>
<dt>ROWS, COLS</dt><dd>The built-in town's grid (<code>--rows</code>, <code>--cols</code>, default
200); not used with a START layer.</dd>
<dt>BACKGROUND</dt><dd>Optional (<code>--background</code>): the IDs allowed per cell (bit k for ID
k), a raster of the start's size.</dd>
<dt>PARAMS</dt><dd>Optional parameter file (<code>--params</code>), e.g. the OUTPUT of
towngrow:calibrate (its best point).</dd>
""" + SCENARIO_HELP + """
<dt>STEPS</dt><dd>Steps of every run (<code>--steps</code>, default 100).</dd>
<dt>RUNS</dt><dd>How many runs (<code>--runs</code>, 1 to 65535, default 20).</dd>
<dt>SEED, SEED_STEP</dt><dd>The first run's seed and the step between runs' seeds
(<code>--seed</code>, <code>--seed-step</code>, default 1 and 1).</dd>
<dt>OBSERVED</dt><dd>Optional (<code>--observed</code>): the map observed after STEPS steps; every
run is compared with it (the measures' mean and deviation over the runs, and the ROC AUC of the
probability of developed, in FOLDER's <code>comparison.json</code>).</dd>
<dt>START_OF_CHANGE</dt><dd>Optional (<code>--start-of-change</code>): the map the change measures
count from (default: the start).</dd>
<dt>CLASSES</dt><dd>Optional class file (<code>--classes</code>) of the comparison.</dd>
<dt>MAP</dt><dd>Which probability map is OUTPUT (default developed).</dd>
<dt>OUTPUT</dt><dd>That probability map as a GeoTIFF (the percentage of runs, 0 to 100; 255 no
data), drawn with a ramp from white to dark red (a <code>.qml</code> style beside it).</dd>
<dt>FOLDER</dt><dd>Optional (<code>--out</code>): the folder <code>towngrow ensemble</code> writes
(every class's map as <code>.asc</code>, <code>.tif</code> and <code>.png</code>,
<code>ensemble.csv</code>, <code>ensemble.png</code>, with OBSERVED <code>comparison.json</code>
and <code>comparison.csv</code>, <code>ensemble.json</code>, <code>report.html</code>); REPORT
names the page.</dd>
</dl>
<p>Bad input (a map of another size, an unknown field in the parameter file) ends the algorithm
with one line naming it, nothing written. Cancelling stops after the current run, nothing
written.</p>
<p>Needs the towngrow Python module installed for the system's python3.</p>"""


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
    """START, ROWS, COLS, BACKGROUND and PARAMS as towngrow:grow has them."""
    algorithm.addParameter(QgsProcessingParameterRasterLayer(
        "START", "Start map (empty: the built-in town)", optional=True))
    for name, label in (("ROWS", "Rows"), ("COLS", "Columns")):
        algorithm.addParameter(QgsProcessingParameterNumber(
            name, f"{label} of the built-in town's grid", QgsProcessingParameterNumber.Integer,
            200, minValue=5, maxValue=10000))
    algorithm.addParameter(QgsProcessingParameterRasterLayer(
        "BACKGROUND", "Background (IDs allowed per cell)", optional=True))
    algorithm.addParameter(QgsProcessingParameterFile(
        "PARAMS", "Parameter file", extension="json", optional=True))
    add_scenario_parameters(algorithm)


def seed_parameter(name, label):
    return QgsProcessingParameterNumber(name, label, QgsProcessingParameterNumber.Integer, 1,
                                        minValue=0, maxValue=4294967295)


class EnsembleAlgorithm(TowngrowAlgorithm):
    def name(self):
        return "ensemble"

    def displayName(self):  # noqa: N802
        return "Ensemble of runs: probability maps"

    def shortHelpString(self):  # noqa: N802
        return HELP

    def initAlgorithm(self, config=None):  # noqa: N802
        add_start_parameters(self)
        self.addParameter(QgsProcessingParameterNumber(
            "STEPS", "Steps", QgsProcessingParameterNumber.Integer, 100, minValue=0))
        self.addParameter(QgsProcessingParameterNumber(
            "RUNS", "Runs", QgsProcessingParameterNumber.Integer, 20, minValue=1,
            maxValue=65535))
        self.addParameter(seed_parameter("SEED", "Seed of the first run"))
        self.addParameter(seed_parameter("SEED_STEP", "Step between the runs' seeds"))
        self.addParameter(QgsProcessingParameterRasterLayer(
            "OBSERVED", "Observed map after the steps", optional=True))
        self.addParameter(QgsProcessingParameterRasterLayer(
            "START_OF_CHANGE", "Start of the change (default: the start)", optional=True))
        self.addParameter(QgsProcessingParameterFile(
            "CLASSES", "Class file of the comparison", extension="json", optional=True))
        self.addParameter(QgsProcessingParameterEnum(
            "MAP", "Probability map of", MAPS, defaultValue=0))
        self.addParameter(QgsProcessingParameterRasterDestination(
            "OUTPUT", "Probability map", defaultValue=QgsProcessing.TEMPORARY_OUTPUT))
        self.addParameter(QgsProcessingParameterFolderDestination(
            "FOLDER", "Folder of the ensemble (maps, tables, report)", optional=True,
            createByDefault=False))
        self.addOutput(QgsProcessingOutputHtml("REPORT", "Report page"))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        towngrow = self.towngrow()
        output = tiff_output(self, parameters, "OUTPUT", context)
        folder = self.parameterAsString(parameters, "FOLDER", context) or None
        which = MAPS[self.parameterAsEnum(parameters, "MAP", context)]
        observed = self.layer_file(parameters, "OBSERVED", context, required=False)
        change = self.layer_file(parameters, "START_OF_CHANGE", context, required=False)
        classes = self.file_parameter(parameters, "CLASSES", context)
        if observed is None and (change or classes):
            raise QgsProcessingException(
                f"{'START_OF_CHANGE' if change else 'CLASSES'}: needs an OBSERVED map")
        runs = self.parameterAsInt(parameters, "RUNS", context)
        try:
            with warnings_to(feedback):
                sim = start_simulation(towngrow, self, parameters, context)
                with FolderLeftAsFound(folder), \
                        tempfile.TemporaryDirectory(prefix="towngrow-ensemble-") as scratch:
                    done = towngrow.ensemble(
                        sim, self.parameterAsInt(parameters, "STEPS", context), runs,
                        seed=int(self.parameterAsDouble(parameters, "SEED", context)),
                        seed_step=int(self.parameterAsDouble(parameters, "SEED_STEP", context)),
                        observed=observed, start_of_change=change, classes=classes,
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
        feedback.pushInfo(f"{runs} runs of {done['steps']} steps; {which} into {output}")
        return {"OUTPUT": output, "FOLDER": folder,
                "REPORT": folder and os.path.join(folder, "report.html")}
