"""towngrow:grow: a run of `towngrow run` from a start layer or the built-in town."""
import os
import tempfile

from qgis.core import (
    QgsCoordinateReferenceSystem,
    QgsProcessing,
    QgsProcessingException,
    QgsProcessingOutputFile,
    QgsProcessingOutputHtml,
    QgsProcessingParameterCrs,
    QgsProcessingParameterFile,
    QgsProcessingParameterFolderDestination,
    QgsProcessingParameterNumber,
    QgsProcessingParameterRasterDestination,
    QgsProcessingParameterRasterLayer,
)

from .common import (
    Canceled,
    warnings_to,
    FolderLeftAsFound,
    SCENARIO_HELP,
    TowngrowAlgorithm,
    add_scenario_parameters,
    copy_map,
    progress_of,
    scenario_arguments,
    style_map,
    tiff_output,
)

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
""" + SCENARIO_HELP + """
<dt>STEPS</dt><dd>Steps to run (<code>--steps</code>, default 100).</dd>
<dt>SEED</dt><dd>The random seed (<code>--seed</code>, 0 to 4294967295, default 1).</dd>
<dt>OUTPUT</dt><dd>The end state as a GeoTIFF with the start's georeference and CRS, the land uses'
colour table and names; a style file <code>&lt;name&gt;.qml</code> beside it makes QGIS draw it
with the land uses' colours and names in the legend.</dd>
<dt>FOLDER</dt><dd>Optional (<code>--out</code>): the folder <code>towngrow run</code> writes,
byte for byte: <code>final.asc</code>, <code>final.tif</code>, the snapshots, <code>stats.csv</code>
(per step: cells of each land use, cells of IDs no land use has, developments per land use),
<code>final.png</code>, <code>growth.png</code>, <code>growth.gif</code>, <code>run.json</code>
and the report page <code>report.html</code>. The outputs STATS and REPORT name the table and the
page.</dd>
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
        add_scenario_parameters(self)
        self.addParameter(QgsProcessingParameterNumber(
            "STEPS", "Steps", QgsProcessingParameterNumber.Integer, 100, minValue=0))
        self.addParameter(QgsProcessingParameterNumber(
            "SEED", "Seed", QgsProcessingParameterNumber.Integer, 1, minValue=0,
            maxValue=4294967295))
        self.addParameter(QgsProcessingParameterRasterDestination(
            "OUTPUT", "End state", defaultValue=QgsProcessing.TEMPORARY_OUTPUT))
        self.addParameter(QgsProcessingParameterFolderDestination(
            "FOLDER", "Folder of the run (report, statistics, pictures)", optional=True,
            createByDefault=False))
        self.addOutput(QgsProcessingOutputFile("STATS", "Statistics table (stats.csv)"))
        self.addOutput(QgsProcessingOutputHtml("REPORT", "Report page"))

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
        output = tiff_output(self, parameters, "OUTPUT", context)
        folder = self.parameterAsString(parameters, "FOLDER", context) or None
        steps = self.parameterAsInt(parameters, "STEPS", context)
        start = self.layer_file(parameters, "START", context, required=False)
        arguments = dict(
            start=start or "town",
            steps=steps,
            seed=int(self.parameterAsDouble(parameters, "SEED", context)),
            params=self.file_parameter(parameters, "PARAMS", context),
            background=self.layer_file(parameters, "BACKGROUND", context, required=False),
            crs=self.crs_text(parameters, context),
            progress=progress_of(feedback),
            **scenario_arguments(self, parameters, context),
        )
        if start is None:
            arguments["rows"] = self.parameterAsInt(parameters, "ROWS", context)
            arguments["cols"] = self.parameterAsInt(parameters, "COLS", context)
        try:
            with warnings_to(feedback):
                with FolderLeftAsFound(folder), \
                        tempfile.TemporaryDirectory(prefix="towngrow-grow-") as scratch:
                    if folder is None:  # only the end state is wanted
                        run = towngrow.grow(**arguments, png=False, gif=False,
                                            out=os.path.join(scratch, "run"))
                    else:
                        run = towngrow.grow(**arguments, out=folder)
                    copy_map(os.path.join(run["out"], "final.tif"), output)
        except Canceled:
            raise QgsProcessingException("towngrow:grow was cancelled; nothing was written")
        except (ValueError, OSError, RuntimeError, MemoryError) as e:
            self.fail(e)
        params = towngrow.Simulation(5, 5, arguments["params"]).params
        style_map(context, output, params)
        rows, cols = run["final"].shape
        feedback.pushInfo(f"Grew {rows} x {cols} cells for {run['steps']} steps "
                          f"(seed {arguments['seed']}) into {output}")
        return {"OUTPUT": output, "FOLDER": folder,
                "STATS": folder and os.path.join(folder, "stats.csv"),
                "REPORT": folder and os.path.join(folder, "report.html")}
