"""towngrow:compare: every measure of `towngrow compare`, as a table."""
import json
import os
import tempfile

from qgis.core import (
    QgsCoordinateReferenceSystem,
    QgsFeature,
    QgsFeatureSink,
    QgsField,
    QgsFields,
    QgsProcessing,
    QgsProcessingException,
    QgsProcessingParameterFeatureSink,
    QgsProcessingParameterFile,
    QgsProcessingParameterFolderDestination,
    QgsProcessingParameterRasterDestination,
    QgsProcessingParameterRasterLayer,
    QgsWkbTypes,
)
from qgis.PyQt.QtCore import QVariant

from . import styling
from .common import (
    FolderLeftAsFound,
    TowngrowAlgorithm,
    copy_map,
    style_map,
    tiff_output,
    warnings_to,
)

class CompareAlgorithm(TowngrowAlgorithm):
    COMMAND = "compare"
    INTRO = """<p>Measures a simulated land-use map against an observed one of the same size, as
<code>towngrow compare</code>: cells per class, agreement, kappa, quantity and allocation
disagreement, the change budget and Figure of Merit (with a START map), fuzzy kappa, landscape
measures and the budget at coarser resolutions.</p>"""
    OUTRO = """<p>Maps of other sizes, unreadable maps and bad class or parameter files end the
algorithm with one line naming the file; nothing is written then.</p>"""

    def name(self):
        return "compare"

    def displayName(self):  # noqa: N802
        return "Compare a simulated map with an observed one"

    def group(self):
        return "Comparison"

    def groupId(self):  # noqa: N802
        return "comparison"

    def initAlgorithm(self, config=None):  # noqa: N802
        self.declare(QgsProcessingParameterRasterLayer("OBSERVED", "Observed map"),
                     "The observed map: a raster file layer of land-use IDs.")
        self.declare(QgsProcessingParameterRasterLayer("SIMULATED", "Simulated map"),
                     "The simulated map, of the same size.")
        self.declare(QgsProcessingParameterRasterLayer(
            "START", "Start of the change", optional=True),
            "Optional: the map where the change began; adds hits, misses, false alarms, wrong "
            "hits, the Figure of Merit, producer's and user's accuracy and KSim.")
        self.option("params", "Parameter file")
        self.option("classes", parameter=QgsProcessingParameterFile(
            "CLASSES", "Class file", extension="json", optional=True))
        self.option("fuzzy", "Fuzzy kappa")
        self.option("halving", "Fuzzy kappa: halving distance (cells)", real=True)
        self.option("radius", "Fuzzy kappa: radius (cells)", real=True)
        self.declare(QgsProcessingParameterFeatureSink(
            "MEASURES", "Measures", QgsProcessing.TypeVector),
            "The measures as a table (fields <code>measure</code>, <code>value</code>), one row "
            "per measure named as in <code>compare.json</code> (<code>agreement</code>, "
            "<code>kappa</code>, <code>fom.developed</code>, <code>allocation@4</code>, ...); the "
            "value is empty where a formula divides by zero.")
        self.declare(QgsProcessingParameterRasterDestination(
            "OUTPUT", "Agreement map", defaultValue=QgsProcessing.TEMPORARY_OUTPUT),
            "The agreement map (<code>agreement.tif</code>): with START, where the change agrees "
            "(hits, misses, false alarms, wrong hits, unchanged), else where the classes agree; "
            "its classes load with their names and colours.")
        self.declare(QgsProcessingParameterFolderDestination(
            "FOLDER", "Folder of the comparison (tables, pictures, report)", optional=True,
            createByDefault=False),
            "Optional: the folder <code>towngrow compare</code> writes (<code>compare.json</code>, "
            "<code>crosstab.csv</code>, <code>landscape.csv</code>, <code>resolution.csv</code>, "
            "the pictures and <code>report.html</code>).")

    def read_classes(self, parameters, context):
        path = self.file_parameter(parameters, "CLASSES", context)
        if path is None:
            return None
        try:
            with open(path, encoding="utf-8") as f:
                return json.load(f)
        except (OSError, ValueError) as e:
            raise QgsProcessingException(f"{path}: {' '.join(str(e).split())}") from e

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        towngrow = self.towngrow()
        observed = self.layer_file(parameters, "OBSERVED", context)
        simulated = self.layer_file(parameters, "SIMULATED", context)
        start = self.layer_file(parameters, "START", context, required=False)
        classes = self.read_classes(parameters, context)
        output = tiff_output(self, parameters, "OUTPUT", context)
        folder = self.parameterAsString(parameters, "FOLDER", context) or None
        try:
            with warnings_to(feedback), FolderLeftAsFound(folder), \
                    tempfile.TemporaryDirectory(prefix="towngrow-compare-") as scratch:
                out = folder or os.path.join(scratch, "compare")
                measures = towngrow.compare(observed, simulated, start, classes=classes, out=out,
                                            **self.option_values(parameters, context))
                copy_map(os.path.join(out, "agreement.tif"), output)
        except ValueError as e:
            path = self.file_parameter(parameters, "CLASSES", context)
            text = str(e)
            if path and text.startswith("classes"):
                e = ValueError(path + text[len("classes"):])
            self.fail(e)
        except (OSError, RuntimeError, MemoryError) as e:
            self.fail(e)
        feedback.setProgress(90)

        fields = QgsFields()
        fields.append(QgsField("measure", QVariant.String))
        fields.append(QgsField("value", QVariant.Double))
        sink, dest = self.parameterAsSink(parameters, "MEASURES", context, fields,
                                          QgsWkbTypes.NoGeometry, QgsCoordinateReferenceSystem())
        if sink is None:
            raise QgsProcessingException(self.invalidSinkError(parameters, "MEASURES"))
        for name, value in measures.items():
            feature = QgsFeature(fields)
            feature["measure"] = name
            feature["value"] = value
            sink.addFeature(feature, QgsFeatureSink.FastInsert)
        style_map(context, output, styling.named_values(output))
        feedback.pushInfo(f"{len(measures)} measures of {simulated} against {observed}")
        return {"MEASURES": dest, "OUTPUT": output, "FOLDER": folder}
