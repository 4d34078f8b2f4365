"""The Processing provider "towngrow"."""
import os

from qgis.core import QgsProcessingProvider
from qgis.PyQt.QtGui import QIcon

from .calibrate_algorithm import CalibrateAlgorithm
from .compare_algorithm import CompareAlgorithm
from .ensemble_algorithm import EnsembleAlgorithm
from .grow_algorithm import GrowAlgorithm
from .prepare_algorithm import PrepareAlgorithm


class TowngrowProvider(QgsProcessingProvider):
    def id(self):
        return "towngrow"

    def name(self):
        return "towngrow"

    def longName(self):  # noqa: N802
        return "towngrow: town growth on land-use rasters"

    def icon(self):
        return QIcon(os.path.join(os.path.dirname(__file__), "icon.svg"))

    def loadAlgorithms(self):  # noqa: N802
        for algorithm in (PrepareAlgorithm(), GrowAlgorithm(), EnsembleAlgorithm(),
                          CalibrateAlgorithm(), CompareAlgorithm()):
            self.addAlgorithm(algorithm)
