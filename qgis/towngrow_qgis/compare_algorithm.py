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
    QgsProcessingParameterBoolean,
    QgsProcessingParameterFeatureSink,
    QgsProcessingParameterFile,
    QgsProcessingParameterFolderDestination,
    QgsProcessingParameterNumber,
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

HELP = """<p>Measures a simulated land-use map against an observed one of the same size, as
<code>towngrow compare</code>: cells per class, agreement, kappa, quantity and allocation
disagreement, the change budget and Figure of Merit (with a START map), fuzzy kappa, landscape
measures and the budget at coarser resolutions.</p>
<h3>Parameters</h3>
<dl>
<dt>OBSERVED</dt><dd>The observed map: a raster file layer of land-use IDs.</dd>
<dt>SIMULATED</dt><dd>The simulated map, of the same size.</dd>
<dt>START</dt><dd>Optional (<code>--start</code>): the map where the change began; adds hits,
misses, false alarms, wrong hits, the Figure of Merit, producer's and user's accuracy and
KSim.</dd>
<dt>PARAMS</dt><dd>Optional parameter file (<code>--params</code>): which IDs belong to which
land-use category.</dd>
<dt>CLASSES</dt><dd>Optional class file (<code>--classes</code>), e.g. <code>{"classes": [{"name":
"urban", "ids": [1, 2, 3, 5], "developed": true}, {"name": "open", "ids": [0, 6]}]}</code>.
Default: vacant, street, housing, industry, commerce, others.</dd>
<dt>NO_FUZZY</dt><dd>Leave the fuzzy kappa out (<code>--no-fuzzy</code>).</dd>
<dt>HALVING, RADIUS</dt><dd>The fuzzy kappa's distance decay: the distance in cells at which a
neighbour's weight halves (<code>--halving</code>, default 2) and the neighbourhood's radius
(<code>--radius</code>, 0 to 64, default 4).</dd>
<dt>MEASURES</dt><dd>The measures as a table (fields <code>measure</code>, <code>value</code>), one
row per measure named as in <code>compare.json</code> (<code>agreement</code>, <code>kappa</code>,
<code>quantity</code>, <code>allocation</code>, <code>fom.developed</code>,
<code>fuzzykappa</code>, <code>allocation@4</code>, ...); the value is empty where a formula
divides by zero.</dd>
<dt>OUTPUT</dt><dd>The agreement map (<code>agreement.tif</code>): with START, where the change
agrees (hits, misses, false alarms, wrong hits, unchanged), else where the classes agree; its
classes load with their names and colours.</dd>
<dt>FOLDER</dt><dd>Optional (<code>--out</code>): the folder <code>towngrow compare</code> writes
(<code>compare.json</code>, <code>crosstab.csv</code>, <code>landscape.csv</code>,
<code>resolution.csv</code>, the pictures and <code>report.html</code>).</dd>
</dl>
<p>Maps of other sizes, unreadable maps and bad class or parameter files end the algorithm with one
line naming the file; nothing is written then.</p>
<p>Needs the towngrow Python module installed for the system's python3.</p>"""


class CompareAlgorithm(TowngrowAlgorithm):
    def name(self):
        return "compare"

    def displayName(self):  # noqa: N802
        return "Compare a simulated map with an observed one"

    def group(self):
        return "Comparison"

    def groupId(self):  # noqa: N802
        return "comparison"

    def shortHelpString(self):  # noqa: N802
        return HELP

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterRasterLayer("OBSERVED", "Observed map"))
        self.addParameter(QgsProcessingParameterRasterLayer("SIMULATED", "Simulated map"))
        self.addParameter(QgsProcessingParameterRasterLayer(
            "START", "Start of the change", optional=True))
        self.addParameter(QgsProcessingParameterFile(
            "PARAMS", "Parameter file", extension="json", optional=True))
        self.addParameter(QgsProcessingParameterFile(
            "CLASSES", "Class file", extension="json", optional=True))
        self.addParameter(QgsProcessingParameterBoolean(
            "NO_FUZZY", "Leave out the fuzzy kappa", False))
        self.addParameter(QgsProcessingParameterNumber(
            "HALVING", "Fuzzy kappa: halving distance (cells)",
            QgsProcessingParameterNumber.Double, 2.0, minValue=1e-9, maxValue=1e6))
        self.addParameter(QgsProcessingParameterNumber(
            "RADIUS", "Fuzzy kappa: radius (cells)", QgsProcessingParameterNumber.Double, 4.0,
            minValue=0.0, maxValue=64.0))
        self.addParameter(QgsProcessingParameterFeatureSink(
            "MEASURES", "Measures", QgsProcessing.TypeVector))
        self.addParameter(QgsProcessingParameterRasterDestination(
            "OUTPUT", "Agreement map", defaultValue=QgsProcessing.TEMPORARY_OUTPUT))
        self.addParameter(QgsProcessingParameterFolderDestination(
            "FOLDER", "Folder of the comparison (tables, pictures, report)", optional=True,
            createByDefault=False))

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
                measures = towngrow.compare(
                    observed, simulated, start,
                    params=self.file_parameter(parameters, "PARAMS", context),
                    classes=classes,
                    fuzzy=not self.parameterAsBool(parameters, "NO_FUZZY", context),
                    halving=self.parameterAsDouble(parameters, "HALVING", context),
                    radius=self.parameterAsDouble(parameters, "RADIUS", context),
                    out=out,
                )
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
