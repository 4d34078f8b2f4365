"""The plugin object QGIS loads: it registers the Processing provider."""
from qgis.core import Qgis, QgsApplication, QgsMessageLog

from .module import missing_message
from .provider import TowngrowProvider


class TowngrowPlugin:
    def __init__(self, iface):
        self.iface = iface
        self.provider = None

    def initProcessing(self):  # noqa: N802 (QGIS calls it; qgis_process calls only this)
        self.provider = TowngrowProvider()
        QgsApplication.processingRegistry().addProvider(self.provider)
        message = missing_message()
        if message:
            QgsMessageLog.logMessage(message, "towngrow", Qgis.Warning)

    def initGui(self):  # noqa: N802
        self.initProcessing()
        message = missing_message()
        if message and self.iface is not None:
            self.iface.messageBar().pushMessage("towngrow", message, Qgis.Warning, 0)

    def unload(self):
        if self.provider is not None:
            QgsApplication.processingRegistry().removeProvider(self.provider)
            self.provider = None
