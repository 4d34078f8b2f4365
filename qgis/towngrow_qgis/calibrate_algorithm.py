"""towngrow:calibrate: parameter values whose runs come closest to observed maps, as
`towngrow calibrate`, with its ranking as a table."""
import json
import os
import shutil

from qgis.core import (
    QgsCoordinateReferenceSystem,
    QgsFeature,
    QgsFeatureSink,
    QgsField,
    QgsFields,
    QgsProcessing,
    QgsProcessingException,
    QgsProcessingOutputHtml,
    QgsProcessingParameterEnum,
    QgsProcessingParameterFeatureSink,
    QgsProcessingParameterFile,
    QgsProcessingParameterFileDestination,
    QgsProcessingParameterFolderDestination,
    QgsProcessingParameterMultipleLayers,
    QgsProcessingParameterNumber,
    QgsProcessingParameterString,
    QgsWkbTypes,
)
from qgis.PyQt.QtCore import QVariant

from .common import (
    SCENARIO_HELP,
    Canceled,
    TowngrowAlgorithm,
    one_line,
    progress_of,
    scenario_arguments,
    warnings_to,
)
from . import module
from .ensemble_algorithm import add_start_parameters, seed_parameter, start_simulation

# The search methods as the module names them (grid alone without the module).
METHODS = next((o["choices"] for o in (module.towngrow.options("calibrate")
                                       if module.towngrow is not None else [])
                if o["stem"] == "method"), ["grid"])

HELP = """<p>Searches land-use parameter values whose runs come closest to maps observed in the
town's past, as <code>towngrow calibrate</code> with the same options: every point of the search
space is run RUNS times from the start and compared with each observed map; the OBJECTIVE ranks
the points.</p>
<h3>Parameters</h3>
<dl>
<dt>START, ROWS, COLS, BACKGROUND, PARAMS</dt><dd>The start (<code>--start</code>; empty: the
built-in town on ROWS x COLS cells), the IDs allowed per cell (<code>--background</code>) and the
parameter file whose values the search starts from (<code>--params</code>).</dd>
""" + SCENARIO_HELP + """
<dt>SPACE</dt><dd>The search space file (<code>--space</code>): a JSON list such as <code>[{"id":
3, "field": "activeAge", "values": [5, 10, 20]}, {"id": 5, "field": "housePercent", "min": 10,
"max": 40, "step": 10}]</code>.</dd>
<dt>OBSERVED, OBSERVED_STEPS</dt><dd>The control maps (<code>--observed MAP:STEPS</code>, one or
more raster layers of the start's size) and, in their order, the steps after the start when each
was observed: "20, 40".</dd>
<dt>VALIDATE, VALIDATE_STEPS</dt><dd>Optional held-out maps (<code>--validate</code>) and their
steps: the best point is scored on them, never fitted to them.</dd>
<dt>METHOD</dt><dd><code>--method</code>: grid (every combination, default), refine (then finer
lattices around the best points), lhs (a Latin hypercube, then refined), morris (screening),
cmaes or nsga2 (these two need EVALUATIONS).</dd>
<dt>EVALUATIONS</dt><dd><code>--evaluations</code>: the budget of distinct points (0: none).</dd>
<dt>RUNAWAY</dt><dd><code>--runaway</code>: a run that grows past this many times the developed
cells of the next control map stops there, and its point scores as the worst (default 3; 0: off).</dd>
<dt>RUNS</dt><dd>Runs per point (<code>--runs</code>, default 4), run <i>i</i> seeded SEED +
<i>i</i>.</dd>
<dt>SEED</dt><dd><code>--seed</code>, default 1.</dd>
<dt>CLASSES</dt><dd>Optional class file (<code>--classes</code>) of the comparison, e.g. the
<code>classes.json</code> of towngrow:prepare.</dd>
<dt>OBJECTIVE</dt><dd><code>--objective</code>: a measure (<code>fom.developed</code>, the
default), a product <code>fom.developed*ksim</code> or a weighted mean
<code>0.6*fom.developed+0.4*leesallee</code>.</dd>
<dt>FOLDER</dt><dd>Required (<code>--out</code>): the files of <code>towngrow calibrate</code>
(<code>ranking.csv</code>, <code>rounds.csv</code>, <code>best.json</code>,
<code>report.html</code>, <code>best/step-N/</code> with the best point's probability maps per
control map) and its database <code>calibration.sqlite</code>, which keeps every finished point:
a cancelled calibration keeps them, and running it again with the same inputs goes on from them.
</dd>
<dt>OUTPUT</dt><dd>The best point's parameter file (<code>best.json</code>), for towngrow:grow's or
towngrow:ensemble's PARAMS.</dd>
<dt>RANKING</dt><dd>The ranking as a table, best first: rank, point, one field per searched
parameter, objective, quantity, round, the measures at each control map and the runs the
runaway bound stopped.</dd>
</dl>
<p>Bad input ends the algorithm with one line naming it, nothing written besides the database.</p>
<p>Needs the towngrow Python module installed for the system's python3.</p>"""


def field_name(name):
    """A ranking column as a field name ("fom.developed step 20 mean": fom_developed_s20_mean)."""
    text = name.replace(" step ", "_s").replace(".", "_").replace(" ", "_")
    return text.replace("[", "_").replace("]", "").replace("@", "_at")


class CalibrateAlgorithm(TowngrowAlgorithm):
    def name(self):
        return "calibrate"

    def displayName(self):  # noqa: N802
        return "Calibrate the parameters on observed maps"

    def shortHelpString(self):  # noqa: N802
        return HELP

    def initAlgorithm(self, config=None):  # noqa: N802
        add_start_parameters(self)
        self.addParameter(QgsProcessingParameterFile("SPACE", "Search space file",
                                                     extension="json"))
        self.addParameter(QgsProcessingParameterMultipleLayers(
            "OBSERVED", "Observed maps", QgsProcessing.TypeRaster))
        self.addParameter(QgsProcessingParameterString(
            "OBSERVED_STEPS", "Steps of the observed maps (e.g. 20, 40)"))
        self.addParameter(QgsProcessingParameterMultipleLayers(
            "VALIDATE", "Held-out maps", QgsProcessing.TypeRaster, optional=True))
        self.addParameter(QgsProcessingParameterString(
            "VALIDATE_STEPS", "Steps of the held-out maps", optional=True))
        self.addParameter(QgsProcessingParameterEnum("METHOD", "Method", METHODS,
                                                     defaultValue=0))
        self.addParameter(QgsProcessingParameterNumber(
            "EVALUATIONS", "Evaluations (0: no budget)", QgsProcessingParameterNumber.Integer, 0,
            minValue=0))
        self.addParameter(QgsProcessingParameterNumber(
            "RUNAWAY", "Runaway bound (0: off)", QgsProcessingParameterNumber.Double, 3,
            minValue=0, maxValue=1000))
        self.addParameter(QgsProcessingParameterNumber(
            "RUNS", "Runs per point", QgsProcessingParameterNumber.Integer, 4, minValue=1,
            maxValue=65535))
        self.addParameter(seed_parameter("SEED", "Seed of the first run"))
        self.addParameter(QgsProcessingParameterFile(
            "CLASSES", "Class file of the comparison", extension="json", optional=True))
        self.addParameter(QgsProcessingParameterString(
            "OBJECTIVE", "Objective", defaultValue="fom.developed"))
        self.addParameter(QgsProcessingParameterFolderDestination(
            "FOLDER", "Folder of the calibration (its database, tables, report)"))
        self.addParameter(QgsProcessingParameterFileDestination(
            "OUTPUT", "Best point's parameter file", "JSON files (*.json)"))
        self.addParameter(QgsProcessingParameterFeatureSink(
            "RANKING", "Ranking", QgsProcessing.TypeVector))
        self.addOutput(QgsProcessingOutputHtml("REPORT", "Report page"))

    def json_file(self, parameters, name, context):
        path = self.file_parameter(parameters, name, context)
        if path is None:
            return None, None
        try:
            with open(path, encoding="utf-8") as f:
                return path, json.load(f)
        except (OSError, ValueError) as e:
            raise QgsProcessingException(f"{name}: {path}: {one_line(e)}") from e

    def maps_by_step(self, parameters, name, context):
        maps = self.layer_files(parameters, name, context)
        steps = self.steps_list(parameters, name + "_STEPS", context, len(maps), name)
        if len(set(steps)) != len(steps):
            raise QgsProcessingException(f"{name}_STEPS: each step at most once")
        return dict(zip(steps, maps))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        towngrow = self.towngrow()
        observed = self.maps_by_step(parameters, "OBSERVED", context)
        if not observed:
            raise QgsProcessingException("OBSERVED: give one or more maps")
        validate = self.maps_by_step(parameters, "VALIDATE", context) or None
        space_file, space = self.json_file(parameters, "SPACE", context)
        classes_file, classes = self.json_file(parameters, "CLASSES", context)
        folder = self.parameterAsString(parameters, "FOLDER", context)
        output = self.parameterAsFileOutput(parameters, "OUTPUT", context)
        try:
            with warnings_to(feedback):
                sim = start_simulation(towngrow, self, parameters, context)
                ranking = towngrow.calibrate(
                    sim, observed, space,
                    method=METHODS[self.parameterAsEnum(parameters, "METHOD", context)],
                    evaluations=self.parameterAsInt(parameters, "EVALUATIONS", context),
                    runs=self.parameterAsInt(parameters, "RUNS", context),
                    runaway=self.parameterAsDouble(parameters, "RUNAWAY", context),
                    seed=int(self.parameterAsDouble(parameters, "SEED", context)),
                    classes=classes, validate=validate,
                    **scenario_arguments(self, parameters, context),
                    objective=self.parameterAsString(parameters, "OBJECTIVE", context),
                    out=folder, progress=progress_of(feedback, "point"))
        except Canceled:
            raise QgsProcessingException(
                f"towngrow:calibrate was cancelled; the finished points are kept in {folder} "
                f"and a run with the same inputs goes on from them")
        except ValueError as e:
            text = str(e)
            for key, path in (("space", space_file), ("classes", classes_file)):
                if path and text.startswith(key):
                    e = ValueError(path + text[len(key):])
            self.fail(e)
        except (OSError, RuntimeError, MemoryError) as e:
            self.fail(e)
        shutil.copyfile(os.path.join(folder, "best.json"), output)

        fields = QgsFields()
        columns = list(ranking[0])
        for column in columns:
            kind = (QVariant.String if column == "point"
                    else QVariant.Int if column in ("rank", "round", "stopped runs", "stopped at step")
                    else QVariant.Double)
            fields.append(QgsField(field_name(column), kind))
        sink, dest = self.parameterAsSink(parameters, "RANKING", context, fields,
                                          QgsWkbTypes.NoGeometry, QgsCoordinateReferenceSystem())
        if sink is None:
            raise QgsProcessingException(self.invalidSinkError(parameters, "RANKING"))
        for row in ranking:
            feature = QgsFeature(fields)
            feature.setAttributes([row[c] for c in columns])
            sink.addFeature(feature, QgsFeatureSink.FastInsert)
        best = ranking[0]
        feedback.pushInfo(f"{len(ranking)} points; the best, {best['point']}, scores "
                          f"{best['objective']} ({folder})")
        return {"OUTPUT": output, "FOLDER": folder, "RANKING": dest,
                "REPORT": os.path.join(folder, "report.html")}
