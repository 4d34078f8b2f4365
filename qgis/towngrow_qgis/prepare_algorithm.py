"""towngrow:prepare: the start, background and control maps from layers chosen in
QGIS, through the recipe `towngrow prepare` reads."""
import json
import os

from qgis.core import (
    QgsProcessing,
    QgsProcessingException,
    QgsProcessingOutputFile,
    QgsProcessingOutputHtml,
    QgsProcessingOutputMultipleLayers,
    QgsProcessingOutputRasterLayer,
    QgsProcessingOutputString,
    QgsProcessingParameterFile,
    QgsProcessingParameterFileDestination,
    QgsProcessingParameterFolderDestination,
    QgsProcessingParameterMatrix,
    QgsProcessingParameterMultipleLayers,
    QgsProcessingParameterNumber,
    QgsProcessingParameterRasterLayer,
    QgsProcessingParameterString,
    QgsProcessingParameterVectorLayer,
)

from .common import Canceled, TowngrowAlgorithm, one_line, style_map, warnings_to

# The class tables used when none is given: NLCD's developed classes as housing and
# open water as others; any value 1-255 of a later map as housing.
DEFAULT_CLASSES = {"LANDCOVER_CLASSES": ["21-24", "3", "11", "6"],
                   "OBSERVED_CLASSES": ["1-255", "3"]}


def class_rules(algorithm, parameters, name, context):
    """A class table parameter as the recipe's "classes" (value or range: ID or "street")."""
    cells = [str(c).strip() for c in algorithm.parameterAsMatrix(parameters, name, context)
             if str(c).strip()] or DEFAULT_CLASSES[name]
    if len(cells) % 2:
        raise QgsProcessingException(f"{name}: rows of two cells (values, ID) are needed")
    rules = {}
    for values, target in zip(cells[::2], cells[1::2]):
        if target == "street":
            rules[values] = "street"
            continue
        try:
            rules[values] = int(target)
        except ValueError:
            raise QgsProcessingException(
                f"{name}: {values}: \"{target}\" is no land-use ID (0 to 255 or street)")
    return rules


def vector_source(name, layer):
    """A vector layer as the recipe's {"vector": file, "layer": name}."""
    parts = layer.source().split("|")
    if not os.path.isfile(parts[0]):
        raise QgsProcessingException(
            f"{name}: the layer {layer.name()} is not a file (save it as a GeoPackage first)")
    entry = {"vector": parts[0]}
    for part in parts[1:]:
        if part.startswith("layername="):
            entry["layer"] = part[len("layername="):]
    if layer.subsetString():
        entry["where"] = layer.subsetString()
    return entry


def ids_list(algorithm, parameters, name, context):
    text = algorithm.parameterAsString(parameters, name, context) or ""
    try:
        return [int(s) for s in text.replace(";", ",").replace(" ", ",").split(",") if s]
    except ValueError:
        raise QgsProcessingException(f"{name}: \"{text}\" is not a list of IDs")


class PrepareAlgorithm(TowngrowAlgorithm):
    COMMAND = "prepare"
    INTRO = """<p>Makes the maps a run and a calibration take from your own layers, as
<code>towngrow prepare</code> does from the equivalent recipe: the start map (land-use IDs with a
street network the model grows from), the background (the IDs allowed per cell) and the control
maps of later years, all on the land cover's grid (its size, georeference and CRS; other layers
are warped or burnt onto it).</p>"""
    OUTRO = """<p>Outputs: OUTPUT (the start map), BACKGROUND, CONTROL_MAPS and CONTROL_STEPS (for
towngrow:calibrate's OBSERVED and OBSERVED_STEPS), CLASSES (<code>classes.json</code> or empty),
REPORT.</p>
<p>A refused layer or class table ends the algorithm with the program's one line naming it;
nothing is written then.</p>"""

    def name(self):
        return "prepare"

    def displayName(self):  # noqa: N802
        return "Prepare the start, background and control maps"

    def group(self):
        return "Preparation"

    def groupId(self):  # noqa: N802
        return "preparation"

    def initAlgorithm(self, config=None):  # noqa: N802
        self.declare(QgsProcessingParameterRasterLayer("LANDCOVER", "Land cover"),
                     "The land-cover raster layer (a file); its grid is the maps' grid.")
        self.declare(QgsProcessingParameterMatrix(
            "LANDCOVER_CLASSES", "Land-cover classes", headers=["values", "ID"],
            defaultValue=DEFAULT_CLASSES["LANDCOVER_CLASSES"], optional=True),
            "Its class table: rows of a value or an inclusive range of values (<code>11</code>, "
            "<code>21-24</code>) and the land-use ID they become (0 to 255, or "
            "<code>street</code>). Cells of other values stay vacant (ID 0). Default (also when "
            "empty): NLCD's developed classes 21-24 as housing (3), open water 11 as others (6).")
        self.declare(QgsProcessingParameterVectorLayer(
            "ROADS", "Road lines", [QgsProcessing.TypeVectorLine], optional=True),
            "Optional road lines (a vector file layer in any CRS), burnt as streets over the land "
            "cover: their ends and junctions become street nodes (ID 1), the rest street vertices "
            "(ID 2).")
        self.declare(QgsProcessingParameterString(
            "ROADS_WHERE", "Filter of the roads", optional=True),
            "An optional attribute filter of ROADS (<code>year &lt;= 1990</code>).")
        self.declare(QgsProcessingParameterVectorLayer(
            "EXCLUDED", "Areas closed to growth", [QgsProcessing.TypeVectorPolygon],
            optional=True), "Optional polygons closed to growth (parks, water).")
        self.declare(QgsProcessingParameterNumber(
            "EXCLUDED_AS", "Land use of the closed areas in the start (-1: none)",
            QgsProcessingParameterNumber.Integer, 6, minValue=-1, maxValue=255),
            "The land use EXCLUDED's cells take in the start map (default 6, others: nothing "
            "grows onto them); -1 leaves the start as the other layers make it.")
        self.declare(QgsProcessingParameterString(
            "EXCLUDED_ALLOW", "IDs still acting in the closed areas", optional=True),
            "The IDs (0 to 7) whose rules still act in EXCLUDED's cells, for the background "
            "(e.g. \"0, 2\"; empty: none). With EXCLUDED a background is made: 255 (every land "
            "use) outside the polygons.")
        self.declare(QgsProcessingParameterMultipleLayers(
            "OBSERVED", "Maps of later years", QgsProcessing.TypeRaster, optional=True),
            "Optional rasters of later years; each becomes a control map "
            "<code>observed-&lt;step&gt;.tif</code>.")
        self.declare(QgsProcessingParameterString(
            "OBSERVED_STEPS", "Steps of the later maps (e.g. 10, 20)", optional=True),
            "The steps after the start each of OBSERVED stands for (\"10, 20\").")
        self.declare(QgsProcessingParameterMatrix(
            "OBSERVED_CLASSES", "Classes of the later maps", headers=["values", "ID"],
            defaultValue=DEFAULT_CLASSES["OBSERVED_CLASSES"], optional=True),
            "The class table of OBSERVED (default: values 1-255 as housing, 3).")
        self.declare(QgsProcessingParameterFile(
            "PARAMS", "Parameter file", extension="json", optional=True),
            "Optional parameter file whose land uses name and colour the maps.")
        self.declare(QgsProcessingParameterFolderDestination("FOLDER", "Folder of the maps"),
                     "Where the maps go: <code>start.tif</code>, <code>background.tif</code>, "
                     "<code>observed-&lt;step&gt;.tif</code>, their pictures, "
                     "<code>classes.json</code> (when the control maps give one developed land "
                     "use), <code>prepare.json</code> and <code>report.html</code>, all together "
                     "or none.")
        self.declare(QgsProcessingParameterFileDestination(
            "RECIPE", "Recipe file", "JSON files (*.json)", optional=True,
            createByDefault=False),
            "Optional: saves the recipe (absolute paths), from which <code>towngrow "
            "prepare</code> makes the same maps into a folder.")
        self.addOutput(QgsProcessingOutputRasterLayer("OUTPUT", "Start map"))
        self.addOutput(QgsProcessingOutputRasterLayer("BACKGROUND", "Background"))
        self.addOutput(QgsProcessingOutputMultipleLayers("CONTROL_MAPS", "Control maps"))
        self.addOutput(QgsProcessingOutputString("CONTROL_STEPS", "Steps of the control maps"))
        self.addOutput(QgsProcessingOutputFile("CLASSES", "Class file (developed or not)"))
        self.addOutput(QgsProcessingOutputHtml("REPORT", "Report page"))

    def recipe(self, parameters, context):
        """The recipe of the chosen layers, every path absolute."""
        landcover = os.path.abspath(self.layer_file(parameters, "LANDCOVER", context))
        start = [{"raster": landcover,
                  "classes": class_rules(self, parameters, "LANDCOVER_CLASSES", context)}]
        roads = self.parameterAsVectorLayer(parameters, "ROADS", context)
        if roads is not None:
            entry = vector_source("ROADS", roads)
            where = self.parameterAsString(parameters, "ROADS_WHERE", context)
            if where:
                entry["where"] = f"({entry['where']}) AND ({where})" if "where" in entry else where
            start.append(dict(entry, **{"as": "street"}))
        recipe = {"grid": {"like": landcover}, "start": start}
        excluded = self.parameterAsVectorLayer(parameters, "EXCLUDED", context)
        if excluded is not None:
            entry = vector_source("EXCLUDED", excluded)
            paint = self.parameterAsInt(parameters, "EXCLUDED_AS", context)
            if paint >= 0:
                start.append(dict(entry, **{"as": paint}))
            allow = ids_list(self, parameters, "EXCLUDED_ALLOW", context)
            recipe["background"] = [dict(entry, allow=allow)]
        observed = self.layer_files(parameters, "OBSERVED", context)
        if observed:
            steps = self.steps_list(parameters, "OBSERVED_STEPS", context, len(observed),
                                    "OBSERVED")
            if len(set(steps)) != len(steps):
                raise QgsProcessingException("OBSERVED_STEPS: each step at most once")
            rules = class_rules(self, parameters, "OBSERVED_CLASSES", context)
            recipe["observed"] = [
                {"name": str(step), "steps": step,
                 "layers": [{"raster": os.path.abspath(path), "classes": rules}]}
                for path, step in zip(observed, steps)]
        params = self.file_parameter(parameters, "PARAMS", context)
        if params:
            recipe["params"] = os.path.abspath(params)
        return recipe

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        towngrow = self.towngrow()
        recipe = self.recipe(parameters, context)
        folder = self.parameterAsString(parameters, "FOLDER", context)
        recipe_file = self.parameterAsFileOutput(parameters, "RECIPE", context) or None

        def progress(stage):
            if feedback.isCanceled():
                raise Canceled()
            feedback.setProgressText(stage)

        try:
            with warnings_to(feedback):
                done = towngrow.prepare(recipe, folder, progress=progress)
        except Canceled:
            raise QgsProcessingException("towngrow:prepare was cancelled; nothing was written")
        except (ValueError, OSError, RuntimeError, MemoryError) as e:
            self.fail(e)
        if recipe_file:
            try:
                with open(recipe_file, "w", encoding="utf-8") as f:
                    json.dump(recipe, f, indent=2)
                    f.write("\n")
            except OSError as e:
                raise QgsProcessingException(f"RECIPE: {recipe_file}: {one_line(e)}") from e
        params = towngrow.Simulation(5, 5, recipe.get("params")).params
        maps = [done["start"], *done["observed"].values()]
        for path in maps:
            style_map(context, path, params)
        feedback.pushInfo(done["summary"])
        return {"OUTPUT": done["start"], "BACKGROUND": done["background"],
                "CONTROL_MAPS": list(done["observed"].values()),
                "CONTROL_STEPS": ", ".join(str(s) for s in done["steps"].values()),
                "CLASSES": done["classes"], "FOLDER": folder, "RECIPE": recipe_file,
                "REPORT": done["report"]}
