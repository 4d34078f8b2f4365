"""Draws a map as QGIS itself draws it, headless, to PNG.

    QT_QPA_PLATFORM=offscreen /usr/bin/python3 qgis/render_map.py final.tif map.png [--cells]

The map opens with its default style (`final.qml` beside `final.tif`, as
towngrow:grow writes it). The picture holds the map, a title and the legend
of the layer's classes; `--cells` draws only the map, one pixel per cell.
"""
import argparse
import os
import sys

from qgis.core import (
    QgsApplication,
    QgsLayoutExporter,
    QgsLayoutItemLabel,
    QgsLayoutItemLegend,
    QgsLayoutItemMap,
    QgsLayoutPoint,
    QgsLayoutSize,
    QgsMapRendererSequentialJob,
    QgsMapSettings,
    QgsPrintLayout,
    QgsProject,
    QgsRasterLayer,
    QgsUnitTypes,
)
from qgis.PyQt.QtCore import QSize
from qgis.PyQt.QtGui import QColor, QFont


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


def render_with_legend(layer, png, title, dpi=96):
    """The map, a title and the layer's legend on one page, exported to PNG."""
    project = QgsProject.instance()
    project.addMapLayer(layer)
    layout = QgsPrintLayout(project)
    layout.initializeDefaults()
    page = layout.pageCollection().page(0)
    side = 160.0
    page.setPageSize(QgsLayoutSize(side + 75.0, side + 25.0, QgsUnitTypes.LayoutMillimeters))

    label = QgsLayoutItemLabel(layout)
    label.setText(title)
    label.setFont(QFont("DejaVu Sans", 14))
    label.attemptMove(QgsLayoutPoint(5, 4, QgsUnitTypes.LayoutMillimeters))
    label.attemptResize(QgsLayoutSize(side + 65.0, 12, QgsUnitTypes.LayoutMillimeters))
    layout.addLayoutItem(label)

    frame = QgsLayoutItemMap(layout)
    frame.attemptMove(QgsLayoutPoint(5, 18, QgsUnitTypes.LayoutMillimeters))
    frame.attemptResize(QgsLayoutSize(side, side, QgsUnitTypes.LayoutMillimeters))
    frame.setLayers([layer])
    frame.setCrs(layer.crs())
    frame.zoomToExtent(layer.extent())
    frame.setFrameEnabled(True)
    layout.addLayoutItem(frame)

    legend = QgsLayoutItemLegend(layout)
    legend.setTitle("Land use")
    legend.setLinkedMap(frame)
    legend.attemptMove(QgsLayoutPoint(side + 10.0, 18, QgsUnitTypes.LayoutMillimeters))
    layout.addLayoutItem(legend)

    settings = QgsLayoutExporter.ImageExportSettings()
    settings.dpi = dpi
    result = QgsLayoutExporter(layout).exportToImage(png, settings)
    project.removeMapLayer(layer.id())
    if result != QgsLayoutExporter.Success:
        raise OSError(f"{png}: QGIS could not export the picture (code {result})")


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
