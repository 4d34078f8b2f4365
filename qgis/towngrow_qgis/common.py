"""What every towngrow algorithm shares: the module, layers as files, errors."""
import os

from qgis.core import QgsProcessingAlgorithm, QgsProcessingException

from . import module

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

    def fail(self, error):
        """Raises QgsProcessingException with the one line of a module error."""
        raise QgsProcessingException(one_line(error)) from error
