"""Draws a map as QGIS itself draws it, headless, to PNG.

    QT_QPA_PLATFORM=offscreen /usr/bin/python3 qgis/render_map.py final.tif map.png [--cells]

The map opens with its default style (`final.qml` beside `final.tif`, as
towngrow:grow writes it). The picture holds the map, a title and the legend
of the layer's classes; `--cells` draws only the map, one pixel per cell.
"""
import argparse
import os
import sys

from osgeo import gdal
from qgis.core import (
    QgsApplication,
    QgsLayoutExporter,
    QgsLayoutItemLabel,
    QgsLayoutItemLegend,
    QgsLayoutItemMap,
    QgsLayoutPoint,
    QgsLayoutSize,
    QgsLegendRenderer,
    QgsLegendStyle,
    QgsMapLayerLegendUtils,
    QgsMapRendererSequentialJob,
    QgsMapSettings,
    QgsPrintLayout,
    QgsProject,
    QgsRasterLayer,
    QgsRasterSymbolLegendNode,
    QgsUnitTypes,
)
from qgis.PyQt.QtCore import QSize
from qgis.PyQt.QtGui import QColor, QFont, QImage


def open_map(path):
    """The map as a raster layer with its default style."""
    layer = QgsRasterLayer(path, os.path.splitext(os.path.basename(path))[0], "gdal")
    if not layer.isValid():
        raise OSError(f"{path}: QGIS cannot open the map")
    return layer


def render_cells(layer, png):
    """The map alone, one pixel per cell; returns the QImage."""
    settings = QgsMapSettings()
    settings.setLayers([layer])
    settings.setDestinationCrs(layer.crs())
    settings.setExtent(layer.extent())
    settings.setOutputSize(QSize(layer.width(), layer.height()))
    settings.setBackgroundColor(QColor("white"))
    job = QgsMapRendererSequentialJob(settings)
    job.start()
    job.waitForFinished()
    image = job.renderedImage()
    if png:
        image.save(png, "PNG")
    return image


MAP_ORIGIN_MM = (5.0, 18.0)  # the map's top left corner on the page


def render_with_legend(layer, png, title, dpi=96):
    """The map, a title and the layer's legend (its classes) on one page, exported to PNG.

    The map's longer side is 160 mm, its top left corner at MAP_ORIGIN_MM."""
    project = QgsProject.instance()
    project.addMapLayer(layer)
    layout = QgsPrintLayout(project)
    layout.initializeDefaults()
    mm = QgsUnitTypes.LayoutMillimeters
    side = 160.0  # the map's longer side
    scale = side / max(layer.width(), layer.height())
    width, height = layer.width() * scale, layer.height() * scale
    layout.pageCollection().page(0).setPageSize(QgsLayoutSize(width + 80.0, height + 25.0, mm))

    label = QgsLayoutItemLabel(layout)
    layout.addLayoutItem(label)
    label.setText(title)
    label.setFont(QFont("DejaVu Sans", 14))
    label.attemptMove(QgsLayoutPoint(5, 4, mm))
    label.attemptResize(QgsLayoutSize(width + 70.0, 12, mm))

    frame = QgsLayoutItemMap(layout)
    layout.addLayoutItem(frame)
    frame.attemptMove(QgsLayoutPoint(*MAP_ORIGIN_MM, mm))
    frame.attemptResize(QgsLayoutSize(width, height, mm))
    frame.setLayers([layer])
    frame.setKeepLayerSet(True)
    if layer.crs().isValid():
        frame.setCrs(layer.crs())
    frame.setExtent(layer.extent())
    frame.setFrameEnabled(True)

    legend = QgsLayoutItemLegend(layout)
    layout.addLayoutItem(legend)
    legend.setTitle("Land use")
    legend.setLinkedMap(frame)
    legend.setAutoUpdateModel(False)
    model = legend.model()
    node = model.rootGroup().findLayer(layer)
    # The land uses only: no layer name, no band line above them.
    QgsLegendRenderer.setNodeLegendStyle(node, QgsLegendStyle.Hidden)
    entries = model.layerLegendNodes(node)
    keep = [i for i, n in enumerate(entries) if isinstance(n, QgsRasterSymbolLegendNode)]
    QgsMapLayerLegendUtils.setLegendNodeOrder(node, keep)
    model.refreshLayerLegend(node)
    legend.adjustBoxSize()
    legend.attemptMove(QgsLayoutPoint(width + 10.0, 18, mm))

    settings = QgsLayoutExporter.ImageExportSettings()
    settings.dpi = dpi
    settings.generateWorldFile = False
    settings.exportMetadata = False
    gdal.PushErrorHandler("CPLQuietErrorHandler")  # QGIS tries to georeference the PNG
    try:
        result = QgsLayoutExporter(layout).exportToImage(png, settings)
    finally:
        gdal.PopErrorHandler()
    project.removeMapLayer(layer.id())
    if result != QgsLayoutExporter.Success:
        raise OSError(f"{png}: QGIS could not export the picture (code {result})")
    return QImage(png)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("map")
    parser.add_argument("png")
    parser.add_argument("--cells", action="store_true", help="only the map, one pixel per cell")
    parser.add_argument("--title", default=None)
    parser.add_argument("--dpi", type=int, default=96)
    args = parser.parse_args(argv)
    app = QgsApplication([], False)
    app.initQgis()
    try:
        layer = open_map(args.map)
        if args.cells:
            render_cells(layer, args.png)
        else:
            render_with_legend(layer, args.png, args.title or os.path.basename(args.map), args.dpi)
    except OSError as e:
        print(f"render_map: {e}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
