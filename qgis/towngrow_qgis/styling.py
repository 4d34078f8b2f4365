"""Styles of the maps the algorithms write.

QGIS 3.22 draws a towngrow GeoTIFF from its colour table but does not read
the land uses' names from its raster attribute table, so the legend would
show bare numbers. The algorithms set the paletted renderer's classes
(value, colour, name) themselves and save them as `<map>.qml` beside the
map: QGIS loads that file as the map's default style whenever the map is
opened, by Processing or by hand.
"""
import os

from qgis.core import (
    QgsPalettedRasterRenderer,
    QgsProcessingLayerPostProcessorInterface,
    QgsRasterLayer,
)
from qgis.PyQt.QtGui import QColor


def land_use_classes(params):
    """(ID, name, colour) of every land use of a parameter dict, by ID."""
    classes = {}
    for use in params["landUses"]:
        classes.setdefault(int(use["id"]), (use["name"], use["color"]))
    return [(i, name, color) for i, (name, color) in sorted(classes.items())]


def paletted_renderer(layer, params):
    """A paletted renderer of band 1 with one class per land use, labelled by its name."""
    classes = [
        QgsPalettedRasterRenderer.Class(i, QColor(color), name)
        for i, name, color in land_use_classes(params)
    ]
    return QgsPalettedRasterRenderer(layer.dataProvider(), 1, classes)


def style_path(path):
    """Where QGIS looks for a map's default style: the map's name with .qml."""
    return os.path.splitext(path)[0] + ".qml"


def write_land_use_style(path, params):
    """Writes `<map>.qml` with the land uses' classes; returns its path."""
    layer = QgsRasterLayer(path, os.path.basename(path), "gdal")
    if not layer.isValid():
        raise OSError(f"{path}: QGIS cannot open the map it was to style")
    layer.setRenderer(paletted_renderer(layer, params))
    qml = style_path(path)
    message, ok = layer.saveNamedStyle(qml)
    if not ok:
        raise OSError(f"{qml}: the style cannot be written ({message})")
    return qml


class LandUseStyler(QgsProcessingLayerPostProcessorInterface):
    """Sets the land uses' classes on a map Processing loads when an algorithm ends."""

    def __init__(self, params):
        super().__init__()
        self.params = params

    def postProcessLayer(self, layer, context, feedback):  # noqa: N802
        if isinstance(layer, QgsRasterLayer) and layer.isValid():
            layer.setRenderer(paletted_renderer(layer, self.params))
            layer.triggerRepaint()
