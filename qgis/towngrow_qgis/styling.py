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
    QgsColorRampShader,
    QgsPalettedRasterRenderer,
    QgsProcessingLayerPostProcessorInterface,
    QgsRasterLayer,
    QgsRasterShader,
    QgsSingleBandPseudoColorRenderer,
)
from qgis.PyQt.QtGui import QColor


def land_use_classes(params):
    """(ID, name, colour) of every land use of a parameter dict, by ID."""
    classes = {}
    for use in params["landUses"]:
        classes.setdefault(int(use["id"]), (use["name"], use["color"]))
    return [(i, name, color) for i, (name, color) in sorted(classes.items())]


def named_values(path):
    """The land-use-like classes of a map whose GeoTIFF names its values (categories
    and colour table, as the agreement map of a comparison has them), in the layout
    of a parameter dict."""
    from osgeo import gdal

    dataset = gdal.Open(path)  # kept while its band is read
    band = dataset.GetRasterBand(1)
    table = band.GetColorTable()  # before the names: it loads the .aux.xml that holds them
    uses = []
    for value, name in enumerate(band.GetCategoryNames() or []):
        if name:
            red, green, blue = table.GetColorEntry(value)[:3] if table else (128, 128, 128)
            uses.append({"id": value, "name": name,
                         "color": f"#{red:02X}{green:02X}{blue:02X}"})
    return {"landUses": uses}


def paletted_renderer(layer, params):
    """A paletted renderer of band 1 with one class per land use, labelled by its name."""
    classes = [
        QgsPalettedRasterRenderer.Class(i, QColor(color), name)
        for i, name, color in land_use_classes(params)
    ]
    return QgsPalettedRasterRenderer(layer.dataProvider(), 1, classes)


# The ramp of a probability map (the percentage of runs that ended with the
# cell in a class, 255 no data): never (white) to every run (dark red).
PROBABILITY_RAMP = [(0, "#FFFFFF", "0 % (no run)"), (25, "#FFE08A", "25 %"),
                    (50, "#FB9A29", "50 %"), (75, "#D7301F", "75 %"),
                    (100, "#67000D", "100 % (every run)")]


def probability_renderer(layer):
    """A pseudo-colour renderer of band 1 over 0 to 100 % with PROBABILITY_RAMP."""
    ramp = QgsColorRampShader(0.0, 100.0)
    ramp.setColorRampType(QgsColorRampShader.Interpolated)
    ramp.setColorRampItemList([QgsColorRampShader.ColorRampItem(v, QColor(c), label)
                               for v, c, label in PROBABILITY_RAMP])
    shader = QgsRasterShader(0.0, 100.0)
    shader.setRasterShaderFunction(ramp)
    renderer = QgsSingleBandPseudoColorRenderer(layer.dataProvider(), 1, shader)
    renderer.setClassificationMin(0.0)
    renderer.setClassificationMax(100.0)
    return renderer


def style_path(path):
    """Where QGIS looks for a map's default style: the map's name with .qml."""
    return os.path.splitext(path)[0] + ".qml"


def write_land_use_style(path, params):
    """Writes `<map>.qml` with the land uses' classes; returns its path."""
    return _write_style(path, lambda layer: paletted_renderer(layer, params))


def write_probability_style(path):
    """Writes `<map>.qml` with the probability ramp; returns its path."""
    return _write_style(path, probability_renderer)


def _write_style(path, renderer):
    layer = QgsRasterLayer(path, os.path.basename(path), "gdal")
    if not layer.isValid():
        raise OSError(f"{path}: QGIS cannot open the map it was to style")
    layer.setRenderer(renderer(layer))
    qml = style_path(path)
    message, ok = layer.saveNamedStyle(qml)
    if not ok:
        raise OSError(f"{qml}: the style cannot be written ({message})")
    return qml


class LandUseStyler(QgsProcessingLayerPostProcessorInterface):
    """Sets the land uses' classes (params given) or the probability ramp (None) on a
    map Processing loads when an algorithm ends."""

    def __init__(self, params=None):
        super().__init__()
        self.params = params

    def postProcessLayer(self, layer, context, feedback):  # noqa: N802
        if isinstance(layer, QgsRasterLayer) and layer.isValid():
            layer.setRenderer(probability_renderer(layer) if self.params is None
                              else paletted_renderer(layer, self.params))
            layer.triggerRepaint()
