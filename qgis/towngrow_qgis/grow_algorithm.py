"""towngrow:grow: a run of `towngrow run` from a start layer or the built-in town."""
import os

from qgis.core import (
    QgsCoordinateReferenceSystem,
    QgsProcessing,
    QgsProcessingException,
    QgsProcessingParameterCrs,
    QgsProcessingParameterFile,
    QgsProcessingParameterFolderDestination,
    QgsProcessingParameterNumber,
    QgsProcessingParameterRasterDestination,
    QgsProcessingParameterRasterLayer,
)

from . import styling
from .common import TowngrowAlgorithm, keep
from .grow import Stopped, grow

HELP = """<p>Grows a town on a raster of land-use cells, exactly as <code>towngrow run</code> with
the same options: the same start, parameters, background, steps and seed give the same end state,
cell for cell.</p>
<p>Land-use IDs: 0 vacant, 1 street node, 2 street vertex, 3 housing, 4 industry, 5 commerce, 6
others (a parameter file may add land uses).</p>
<h3>Parameters</h3>
<dl>
<dt>START</dt><dd>The start map (<code>--start</code>): a raster file layer of land-use IDs (whole
numbers 0 to 255, band 1). The grid takes its size, georeference and CRS. Empty: the built-in town
on ROWS x COLS cells.</dd>
<dt>ROWS, COLS</dt><dd>The size of the built-in town's grid (<code>--rows</code>,
<code>--cols</code>, 5 to 10000, default 200); not used with a START layer.</dd>
<dt>CRS</dt><dd>Optional (<code>--crs</code>): the end state's coordinate reference system; it
gives the built-in town one, or replaces the start's.</dd>
<dt>BACKGROUND</dt><dd>Optional (<code>--background</code>): a raster of the same size whose cells
hold the bit set of the IDs allowed there (bit k for ID k: 8 housing only, 255 everything).</dd>
<dt>PARAMS</dt><dd>Optional parameter file (<code>--params</code>, JSON in the layout of
<code>towngrow params</code>, or a run's <code>run.json</code>). Its names and colours style the
output.</dd>
<dt>STEPS</dt><dd>Steps to run (<code>--steps</code>, default 100).</dd>
<dt>SEED</dt><dd>The random seed (<code>--seed</code>, 0 to 4294967295, default 1).</dd>
<dt>OUTPUT</dt><dd>The end state as a GeoTIFF with the start's georeference and CRS, the land uses'
colour table and names; a style file <code>&lt;name&gt;.qml</code> beside it makes QGIS draw it
with the land uses' colours and names in the legend.</dd>
<dt>FOLDER</dt><dd>Optional: a folder for the statistics table <code>stats.csv</code> (per step:
cells of each land use, cells of IDs no land use has, developments per land use), as <code>towngrow
run</code> writes it.</dd>
</dl>
<p>A bad input (a background of another size, an unknown field in the parameter file, an unreadable
map) ends the algorithm with one line naming the file and the key; nothing is written then.
Cancelling stops after the current step and writes nothing.</p>
<p>Needs the towngrow Python module installed for the system's python3.</p>"""


class GrowAlgorithm(TowngrowAlgorithm):
    def name(self):
        return "grow"

    def displayName(self):  # noqa: N802
        return "Grow a town"

    def shortHelpString(self):  # noqa: N802
        return HELP

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterRasterLayer(
            "START", "Start map (empty: the built-in town)", optional=True))
        self.addParameter(QgsProcessingParameterNumber(
            "ROWS", "Rows of the built-in town's grid", QgsProcessingParameterNumber.Integer,
            200, minValue=5, maxValue=10000))
        self.addParameter(QgsProcessingParameterNumber(
            "COLS", "Columns of the built-in town's grid", QgsProcessingParameterNumber.Integer,
            200, minValue=5, maxValue=10000))
        self.addParameter(QgsProcessingParameterCrs(
            "CRS", "CRS of the end state (empty: the start's)", optional=True))
        self.addParameter(QgsProcessingParameterRasterLayer(
            "BACKGROUND", "Background (IDs allowed per cell)", optional=True))
        self.addParameter(QgsProcessingParameterFile(
            "PARAMS", "Parameter file", extension="json", optional=True))
        self.addParameter(QgsProcessingParameterNumber(
            "STEPS", "Steps", QgsProcessingParameterNumber.Integer, 100, minValue=0))
        self.addParameter(QgsProcessingParameterNumber(
            "SEED", "Seed", QgsProcessingParameterNumber.Integer, 1, minValue=0,
            maxValue=4294967295))
        self.addParameter(QgsProcessingParameterRasterDestination(
            "OUTPUT", "End state", defaultValue=QgsProcessing.TEMPORARY_OUTPUT))
        self.addParameter(QgsProcessingParameterFolderDestination(
            "FOLDER", "Folder for the statistics table", optional=True,
            createByDefault=False))

    def crs_text(self, parameters, context):
        """The CRS parameter as text GDAL takes, or None."""
        if not self.parameterAsString(parameters, "CRS", context):
            return None
        crs = self.parameterAsCrs(parameters, "CRS", context)
        if not crs.isValid():
            raise QgsProcessingException("CRS: not a coordinate reference system QGIS knows")
        return crs.authid() or crs.toWkt(QgsCoordinateReferenceSystem.WKT_PREFERRED_GDAL)

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        towngrow = self.towngrow()
        output = self.parameterAsOutputLayer(parameters, "OUTPUT", context)
        if os.path.splitext(output)[1].lower() not in (".tif", ".tiff"):
            raise QgsProcessingException(
                f"OUTPUT: {output}: the end state is written as a GeoTIFF (.tif)")
        folder = self.parameterAsString(parameters, "FOLDER", context) or None
        steps = self.parameterAsInt(parameters, "STEPS", context)

        def progress(step, total):
            feedback.setProgress(100.0 * step / max(total, 1))
            return not feedback.isCanceled()

        try:
            sim = grow(
                towngrow,
                start=self.layer_file(parameters, "START", context, required=False),
                rows=self.parameterAsInt(parameters, "ROWS", context),
                cols=self.parameterAsInt(parameters, "COLS", context),
                steps=steps,
                seed=int(self.parameterAsDouble(parameters, "SEED", context)),
                params=self.file_parameter(parameters, "PARAMS", context),
                background=self.layer_file(parameters, "BACKGROUND", context, required=False),
                crs=self.crs_text(parameters, context),
                output=output,
                folder=folder,
                progress=progress,
            )
            params = sim.params
        except Stopped as e:
            raise QgsProcessingException(f"towngrow:grow {e}") from e
        except (ValueError, OSError, RuntimeError, MemoryError) as e:
            self.fail(e)
        try:
            styling.write_land_use_style(output, params)
        except OSError as e:
            for path in (output, output + ".aux.xml"):
                if os.path.exists(path):
                    os.remove(path)
            self.fail(e)
        if context.willLoadLayerOnCompletion(output):
            details = context.layerToLoadOnCompletionDetails(output)
            details.setPostProcessor(keep(styling.LandUseStyler(params)))
        feedback.pushInfo(
            f"Grew {sim.rows} x {sim.cols} cells for {steps} steps "
            f"(seed {self.parameterAsDouble(parameters, 'SEED', context):.0f}) into {output}")
        return {"OUTPUT": output, "FOLDER": folder}
