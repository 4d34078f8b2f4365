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
    QgsProcessingParameterFeatureSink,
    QgsProcessingParameterFile,
    QgsProcessingParameterFileDestination,
    QgsProcessingParameterFolderDestination,
    QgsProcessingParameterMultipleLayers,
    QgsProcessingParameterString,
    QgsWkbTypes,
)
from qgis.PyQt.QtCore import QVariant

from .common import (
    Canceled,
    TowngrowAlgorithm,
    one_line,
    progress_of,
    scenario_arguments,
    warnings_to,
)
from .ensemble_algorithm import add_start_parameters, start_arguments, start_simulation

FOLDER_HELP = """Required: the files of <code>towngrow calibrate</code>
(<code>ranking.csv</code>, <code>rounds.csv</code>, <code>best.json</code>,
<code>report.html</code>, <code>best/step-N/</code> with the best point's probability maps per
control map) and its database <code>calibration.sqlite</code>, which keeps every finished point:
a cancelled calibration keeps them, and running it again with the same inputs goes on from
them."""


def field_name(name):
    """A ranking column as a field name ("fom.developed step 20 mean": fom_developed_s20_mean)."""
    text = name.replace(" step ", "_s").replace(".", "_").replace(" ", "_")
    return text.replace("[", "_").replace("]", "").replace("@", "_at")


class CalibrateAlgorithm(TowngrowAlgorithm):
    COMMAND = "calibrate"
    INTRO = """<p>Searches land-use parameter values whose runs come closest to maps observed in
the town's past, as <code>towngrow calibrate</code> does: every point of the search space is run
RUNS times from the start and compared with each observed map; the OBJECTIVE ranks the
points.</p>"""
    OUTRO = """<p>Bad input ends the algorithm with one line naming it, nothing written besides
the database.</p>"""

    def name(self):
        return "calibrate"

    def displayName(self):  # noqa: N802
        return "Calibrate the parameters on observed maps"

    def initAlgorithm(self, config=None):  # noqa: N802
        add_start_parameters(self)
        self.option("space", parameter=QgsProcessingParameterFile(
            "SPACE", "Search space file", extension="json"))
        self.declare(QgsProcessingParameterMultipleLayers(
            "OBSERVED", "Observed maps", QgsProcessing.TypeRaster),
            "The control maps: one or more raster layers of the start's size.")
        self.declare(QgsProcessingParameterString(
            "OBSERVED_STEPS", "Steps of the observed maps (e.g. 20, 40)"),
            "In the order of OBSERVED, the steps after the start when each was observed: "
            "\"20, 40\".")
        self.declare(QgsProcessingParameterMultipleLayers(
            "VALIDATE", "Held-out maps", QgsProcessing.TypeRaster, optional=True),
            "Optional held-out maps: the best point is scored on them, never fitted to them.")
        self.declare(QgsProcessingParameterString(
            "VALIDATE_STEPS", "Steps of the held-out maps", optional=True),
            "In the order of VALIDATE, the steps after the start when each was observed.")
        self.option("method", "Method")
        for keyword, label in (
                ("evaluations", "Evaluations (0: no budget)"), ("runs", "Runs per point"),
                ("seed", "Seed of the first run"), ("seed_step", "Step between the runs' seeds"),
                ("rounds", "Rounds"), ("keep", "Points kept per round"),
                ("lattice", "Values per parameter of a round"),
                ("samples", "Points of the first round"), ("population", "Population"),
                ("trajectories", "Trajectories"), ("levels", "Levels"),
                ("max_points", "Most points of a round"),
                ("majority_runs", "Runs of the best point's majority map"),
                ("horizon", "Steps of the projection"), ("threads", "Worker threads")):
            self.option(keyword, label)
        self.option("runaway", "Runaway bound (0: off)", real=True)
        self.option("hold_ages", "Keep abandonment out of the search")
        self.option("classes", parameter=QgsProcessingParameterFile(
            "CLASSES", "Class file of the comparison", extension="json", optional=True))
        self.option("objective", "Objective")
        self.declare(QgsProcessingParameterFolderDestination(
            "FOLDER", "Folder of the calibration (its database, tables, report)"), FOLDER_HELP)
        self.declare(QgsProcessingParameterFileDestination(
            "OUTPUT", "Best point's parameter file", "JSON files (*.json)"),
            "The best point's parameter file (<code>best.json</code>), for towngrow:grow's or "
            "towngrow:ensemble's PARAMS.")
        self.declare(QgsProcessingParameterFeatureSink(
            "RANKING", "Ranking", QgsProcessing.TypeVector),
            "The ranking as a table, best first: rank, point, one field per searched parameter, "
            "objective, quantity, round, the measures at each control map and the runs the "
            "runaway bound stopped.")
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
                    sim, observed, space, **start_arguments(self, parameters, context),
                    classes=classes, validate=validate,
                    **scenario_arguments(self, parameters, context), out=folder,
                    progress=progress_of(feedback, "point"))
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
