"""What every towngrow algorithm shares: the module, layers as files, errors."""
import contextlib
import os
import re
import shutil
import warnings

from qgis.core import (
    QgsProcessingAlgorithm,
    QgsProcessingException,
    QgsProcessingParameterFile,
    QgsProcessingParameterRasterLayer,
)

from . import module, styling

# Post-processors must outlive the algorithm that hands them to Processing.
_KEPT = []


def keep(obj):
    _KEPT.append(obj)
    del _KEPT[:-32]
    return obj


def one_line(error):
    """An exception's message as one line (the module's messages name the file and key)."""
    text = " ".join(str(error).split())
    return text or type(error).__name__


def parameter_names(text):
    """The module's option keywords in a message ("threads=") as parameters (THREADS)."""
    towngrow = module.towngrow
    if towngrow is None or not hasattr(towngrow, "options"):
        return text
    for command in ("run", "ensemble", "calibrate", "compare", "prepare"):
        for option in towngrow.options(command):
            keyword = option["keyword"].replace("-", "_")
            text = re.sub(r"\b" + keyword + "=", keyword.upper(), text)
    return text


class TowngrowAlgorithm(QgsProcessingAlgorithm):
    """Base of the provider's algorithms."""

    def createInstance(self):  # noqa: N802
        return type(self)()

    def group(self):
        return "Town growth"

    def groupId(self):  # noqa: N802
        return "growth"

    def canExecute(self):  # noqa: N802
        message = module.missing_message()
        return (message is None, message or "")

    def towngrow(self):
        return module.require()

    def layer_file(self, parameters, name, context, required=True):
        """The file behind a raster layer parameter (None when an optional one is not given)."""
        layer = self.parameterAsRasterLayer(parameters, name, context)
        if layer is None:
            if required:
                raise QgsProcessingException(f"{name}: no raster layer given")
            return None
        path = layer.source().split("|")[0]
        if not os.path.isfile(path) and not path.startswith("/vsi"):
            raise QgsProcessingException(
                f"{name}: the layer {layer.name()} is not a raster file "
                f"(towngrow reads files: save the layer as a GeoTIFF first)"
            )
        return path

    def file_parameter(self, parameters, name, context):
        """An optional file parameter's path, or None."""
        path = self.parameterAsFile(parameters, name, context)
        return path or None

    def layer_files(self, parameters, name, context):
        """The files behind a multiple-raster parameter, in the order given."""
        paths = []
        for layer in self.parameterAsLayerList(parameters, name, context):
            path = layer.source().split("|")[0]
            if not os.path.isfile(path):
                raise QgsProcessingException(
                    f"{name}: the layer {layer.name()} is not a file (save it as a GeoTIFF first)")
            paths.append(path)
        return paths

    def steps_list(self, parameters, name, context, count, of):
        """A list of steps "20, 40" matching `count` layers of the parameter `of`."""
        text = self.parameterAsString(parameters, name, context) or ""
        try:
            steps = [int(s) for s in text.replace(";", ",").replace(" ", ",").split(",") if s]
        except ValueError:
            raise QgsProcessingException(f"{name}: \"{text}\" is not a list of whole numbers")
        if len(steps) != count:
            raise QgsProcessingException(
                f"{name}: {len(steps)} steps given for {count} layers of {of}")
        if any(s < 1 for s in steps):
            raise QgsProcessingException(f"{name}: steps are 1 or more")
        return steps

    def fail(self, error):
        """Raises QgsProcessingException with the one line of a module error, its options
        named as the algorithm's parameters (the module's "max_points=" as MAX_POINTS)."""
        raise QgsProcessingException(parameter_names(one_line(error))) from error


@contextlib.contextmanager
def warnings_to(feedback):
    """Shows the module's warnings (an ID no land use has, a filter that selects no
    feature) in Processing's log, one line each, instead of Python's warnings."""
    with warnings.catch_warnings(record=True) as seen:
        warnings.simplefilter("always")
        try:
            yield
        finally:
            for warning in seen:
                feedback.pushWarning(one_line(warning.message))


class Canceled(Exception):
    """Raised by a progress function once the user cancels; the module's call stops."""


def progress_of(feedback, note=""):
    """A progress(done, total) function for the module's calls: moves Processing's bar,
    and stops the call (Canceled) once the user cancels."""

    def progress(done, total):
        if feedback.isCanceled():
            raise Canceled()
        feedback.setProgress(100.0 * done / max(total, 1))
        if note:
            feedback.setProgressText(f"{note} {done} of {total}")

    return progress


def copy_map(source, target):
    """Copies a map written by the module (and its .aux.xml) to where Processing wants it."""
    os.makedirs(os.path.dirname(os.path.abspath(target)), exist_ok=True)
    for suffix in ("", ".aux.xml"):
        if os.path.exists(source + suffix):
            shutil.copyfile(source + suffix, target + suffix)
        elif os.path.exists(target + suffix):
            os.remove(target + suffix)


def remove_map(path):
    for p in (path, path + ".aux.xml", os.path.splitext(path)[0] + ".qml"):
        if os.path.exists(p):
            os.remove(p)


def tiff_output(algorithm, parameters, name, context):
    """A raster destination parameter's path; it must be a GeoTIFF."""
    output = algorithm.parameterAsOutputLayer(parameters, name, context)
    if os.path.splitext(output)[1].lower() not in (".tif", ".tiff"):
        raise QgsProcessingException(f"{name}: {output}: the map is written as a GeoTIFF (.tif)")
    return output


def style_map(context, path, params=None):
    """Writes `<map>.qml` (the land uses' classes of params, or the probability ramp for
    None) and styles the layer Processing loads; a style that cannot be written removes
    the map."""
    try:
        if params is None:
            styling.write_probability_style(path)
        else:
            styling.write_land_use_style(path, params)
    except OSError as e:
        remove_map(path)
        raise QgsProcessingException(one_line(e)) from e
    if context.willLoadLayerOnCompletion(path):
        details = context.layerToLoadOnCompletionDetails(path)
        details.setPostProcessor(keep(styling.LandUseStyler(params)))


class FolderLeftAsFound:
    """Removes a folder the work made and left empty when the work fails (a cancelled
    run writes nothing, not even its folder)."""

    def __init__(self, folder):
        self.folder = folder
        self.made = folder is not None and not os.path.exists(folder)

    def __enter__(self):
        return self

    def __exit__(self, kind, error, trace):
        if kind is not None and self.made and os.path.isdir(self.folder):
            try:
                os.rmdir(self.folder)  # only while empty
            except OSError:
                pass
        return False


SCENARIO_HELP = """<dt>SCHEDULE</dt><dd>Optional schedule file (<code>--schedule</code>, the
<code>schedule.json</code> of towngrow:prepare): per step N, land-use rasters painted over the state,
a background and a suitability surface that take effect at the start of step N.</dd>
<dt>SUITABILITY</dt><dd>Optional (<code>--suitability</code>): a raster of the start's size, 0 to
100 (or 0 to 1 in a float band); a development of a land use whose <code>suitabilityWeight</code>
w is above 0 into a cell of suitability s passes with probability s^w.</dd>"""


def add_scenario_parameters(algorithm):
    """SCHEDULE and SUITABILITY, as --schedule and --suitability."""
    algorithm.addParameter(QgsProcessingParameterFile(
        "SCHEDULE", "Schedule (layers, backgrounds, suitability by step)", extension="json",
        optional=True))
    algorithm.addParameter(QgsProcessingParameterRasterLayer(
        "SUITABILITY", "Suitability surface", optional=True))


def scenario_arguments(algorithm, parameters, context):
    """The schedule= and suitability= arguments of the module's functions."""
    return dict(
        schedule=algorithm.file_parameter(parameters, "SCHEDULE", context),
        suitability=algorithm.layer_file(parameters, "SUITABILITY", context, required=False))
