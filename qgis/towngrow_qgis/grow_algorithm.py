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

END_STATE_HELP = """The end state as a GeoTIFF with the start's georeference and CRS, the land
uses' colour table and names; a style file <code>&lt;name&gt;.qml</code> beside it makes QGIS draw
it with the land uses' colours and names in the legend."""
FOLDER_HELP = """Optional: the folder <code>towngrow run</code> writes, byte for byte:
<code>final.asc</code>, <code>final.tif</code>, the snapshots, <code>stats.csv</code> (per step:
cells of each land use, cells of IDs no land use has, developments per land use),
<code>final.png</code>, <code>growth.png</code>, <code>growth.gif</code>, <code>run.json</code>
and the report page <code>report.html</code>. The outputs STATS and REPORT name the table and the
page."""


class GrowAlgorithm(TowngrowAlgorithm):
    COMMAND = "run"
    INTRO = """<p>Grows a town on a raster of land-use cells, exactly as <code>towngrow run</code>
does: the same start, parameters, background, steps and seed give the same end state, cell for
cell.</p>
<p>Land-use IDs: 0 vacant, 1 street node, 2 street vertex, 3 housing, 4 industry, 5 commerce, 6
others (a parameter file may add land uses).</p>"""
    OUTRO = """<p>A bad input (a background of another size, an unknown field in the parameter
file, an unreadable map) ends the algorithm with one line naming the file and the key; nothing is
written then. Cancelling stops after the current step and writes nothing.</p>"""

    def name(self):
        return "grow"

    def displayName(self):  # noqa: N802
        return "Grow a town"

    def initAlgorithm(self, config=None):  # noqa: N802
        self.declare(QgsProcessingParameterRasterLayer(
            "START", "Start map (empty: the built-in town)", optional=True),
            "The start map: a raster file layer of land-use IDs (whole numbers 0 to 255, band "
            "1). The grid takes its size, georeference and CRS. Empty: the built-in town on "
            "ROWS x COLS cells.")
        self.option("rows", "Rows of the built-in town's grid")
        self.option("cols", "Columns of the built-in town's grid")
        self.option("crs", parameter=QgsProcessingParameterCrs(
            "CRS", "CRS of the end state (empty: the start's)", optional=True))
        self.declare(QgsProcessingParameterRasterLayer(
            "BACKGROUND", "Background (IDs allowed per cell)", optional=True),
            "Optional: a raster of the same size whose cells hold the bit set of the IDs "
            "allowed there (bit k for ID k: 8 housing only, 255 everything).")
        self.option("params", "Parameter file")
        add_scenario_parameters(self)
        self.option("steps", "Steps")
        self.option("seed", "Seed")
        self.declare(QgsProcessingParameterRasterDestination(
            "OUTPUT", "End state", defaultValue=QgsProcessing.TEMPORARY_OUTPUT), END_STATE_HELP)
        self.declare(QgsProcessingParameterFolderDestination(
            "FOLDER", "Folder of the run (report, statistics, pictures)", optional=True,
            createByDefault=False), FOLDER_HELP)
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
        start = self.layer_file(parameters, "START", context, required=False)
        arguments = dict(
            self.option_values(parameters, context),
            start=start or "town",
            background=self.layer_file(parameters, "BACKGROUND", context, required=False),
            crs=self.crs_text(parameters, context),
            progress=progress_of(feedback),
            **scenario_arguments(self, parameters, context),
        )
        if start is not None:  # the grid is the start's
            del arguments["rows"], arguments["cols"]
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
