"""What every towngrow algorithm shares: the module, layers as files, errors, and the
parameters and help that come from the module's option tables."""
import contextlib
import html
import os
import re
import shutil
import warnings

from qgis.core import (
    QgsProcessingAlgorithm,
    QgsProcessingException,
    QgsProcessingParameterBoolean,
    QgsProcessingParameterEnum,
    QgsProcessingParameterFile,
    QgsProcessingParameterNumber,
    QgsProcessingParameterRasterLayer,
    QgsProcessingParameterString,
)

from . import module, styling

# The program's commands whose options the algorithms offer.
COMMANDS = ("run", "ensemble", "calibrate", "compare", "prepare")
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
    for command in COMMANDS:
        for option in towngrow.options(command):
            keyword = option["keyword"].replace("-", "_")
            text = re.sub(r"\b" + keyword + "=", keyword.upper(), text)
    return text


def option_table(command):
    """The module's options of a command by keyword ({} without the module)."""
    towngrow = module.towngrow
    if towngrow is None:
        return {}
    return {o["keyword"].replace("-", "_"): o for o in towngrow.options(command)}


def parameter_name(stem):
    """The parameter that stands for the program's option of that stem (seed-step: SEED_STEP)."""
    for command in COMMANDS:
        for keyword, entry in option_table(command).items():
            if entry["stem"] == stem:
                return keyword.upper()
    return None


def option_help(entry):
    """An option's help, HTML, naming the options it mentions as their parameters (KEEP)
    and without the pointers to the program's own help."""
    text = re.sub(r";? see below", "", entry["help"])
    text = html.escape(re.sub(r"--([a-z][a-z-]*)",
                              lambda m: parameter_name(m.group(1)) or m.group(0), text),
                       quote=False)
    if entry["kind"] == "flag" and entry["negated"]:
        return "Unchecked: " + text[:1].lower() + text[1:]
    return text


class TowngrowAlgorithm(QgsProcessingAlgorithm):
    """Base of the provider's algorithms. Each declares its parameters with their help:
    `option` for an option of the program's COMMAND (its default, range, choices and help
    from the module's option table), `declare` for what only QGIS has (layers, outputs).
    The help lists exactly the parameters declared, in their order."""

    COMMAND = None
    INTRO = ""  # the help before the parameters
    OUTRO = ""  # the help after them

    def declare(self, parameter, text):
        """Adds a parameter with its help (HTML)."""
        if "_helps" not in self.__dict__:
            self._helps, self._options = {}, {}
        self._helps[parameter.name()] = text
        self.addParameter(parameter)
        return parameter

    def option(self, keyword, label=None, real=False, parameter=None):
        """Adds the option `keyword` of COMMAND as the parameter KEYWORD: a number (whole
        unless `real`), a choice, a text, a check box or a file, as the table says;
        `parameter` stands in for it (a CRS, a required file), read by the algorithm itself.
        Without the module (no table), a text parameter the algorithm cannot run with."""
        name = keyword.upper()
        entry = option_table(self.COMMAND).get(keyword)
        if entry is None:
            return self.declare(parameter or QgsProcessingParameterString(
                name, label, optional=True), "")
        default = entry["default"]
        kind = entry["kind"]
        if parameter is not None:
            return self.declare(parameter, option_help(entry))
        if kind == "number":
            number = QgsProcessingParameterNumber
            low, high = entry["range"] or (None, None)
            value = float(default[0])
            if low is not None and not low <= value <= high:
                value = None  # a required option without a default
            parameter = number(name, label, number.Double if real else number.Integer,
                               value if real or value is None else int(value))
            if low is not None:
                parameter.setMinimum(low)
                parameter.setMaximum(high)
        elif entry["choices"]:
            parameter = QgsProcessingParameterEnum(
                name, label, entry["choices"], defaultValue=entry["choices"].index(default[0]))
        elif kind == "flag":
            parameter = QgsProcessingParameterBoolean(
                name, label, bool(default) != entry["negated"])
        elif kind == "file":
            parameter = QgsProcessingParameterFile(name, label, extension="json", optional=True)
        else:
            parameter = QgsProcessingParameterString(
                name, label, defaultValue=default[0] if default else None, optional=not default)
        self.declare(parameter, option_help(entry))
        self._options[name] = (keyword, kind, entry["choices"], real)
        return parameter

    def option_values(self, parameters, context):
        """The keyword arguments of the module's function: every option parameter's value."""
        values = {}
        for name, (keyword, kind, choices, real) in self._options.items():
            if kind == "number":
                value = self.parameterAsDouble(parameters, name, context)
                values[keyword] = value if real else int(value)
            elif choices:
                values[keyword] = choices[self.parameterAsEnum(parameters, name, context)]
            elif kind == "flag":
                values[keyword] = self.parameterAsBool(parameters, name, context)
            elif kind == "file":
                values[keyword] = self.file_parameter(parameters, name, context)
            else:
                values[keyword] = self.parameterAsString(parameters, name, context)
        return values

    def shortHelpString(self):  # noqa: N802
        rows = "\n".join(f"<dt>{p.name()}</dt><dd>{self._helps[p.name()]}</dd>"
                         for p in self.parameterDefinitions())
        return (f"{self.INTRO}\n<h3>Parameters</h3>\n<dl>\n{rows}\n</dl>\n{self.OUTRO}\n"
                "<p>Needs the towngrow Python module installed for the system's python3.</p>")

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


def add_scenario_parameters(algorithm):
    """SCHEDULE (from the option table) and the SUITABILITY layer."""
    algorithm.option("schedule", "Schedule (layers, backgrounds, suitability by step)")
    algorithm.declare(QgsProcessingParameterRasterLayer(
        "SUITABILITY", "Suitability surface", optional=True),
        "Optional: a raster of the start's size, 0 to 100 (or 0 to 1 in a float band); a "
        "development of a land use whose <code>suitabilityWeight</code> w is above 0 into a "
        "cell of suitability s passes with probability s^w.")


def scenario_arguments(algorithm, parameters, context):
    """The suitability= argument of the module's functions (the schedule is an option)."""
    return dict(
        suitability=algorithm.layer_file(parameters, "SUITABILITY", context, required=False))
