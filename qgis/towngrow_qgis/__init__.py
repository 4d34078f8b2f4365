"""The towngrow QGIS plugin: towngrow's algorithms in the Processing toolbox."""


def classFactory(iface):  # noqa: N802 (the name QGIS looks for)
    """Called by QGIS when it loads the plugin."""
    from .plugin import TowngrowPlugin

    return TowngrowPlugin(iface)
