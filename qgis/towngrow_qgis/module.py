"""The towngrow Python module, or the message that says how to install it."""
import sys

from qgis.core import QgsProcessingException

_MISSING = None


def _import():
    global _MISSING
    try:
        import towngrow
    except ImportError as e:
        if e.name != "towngrow" or not isinstance(e, ModuleNotFoundError):
            _MISSING = f"the towngrow Python module cannot be loaded into QGIS: {e}"
            return None
        _MISSING = (
            f"the towngrow Python module is not installed for this QGIS's Python "
            f"(Python {sys.version_info.major}.{sys.version_info.minor}): build towngrow and run "
            f"`cmake --install build` (it installs the module for the system's python3), or "
            f"start QGIS with PYTHONPATH set to the build's python folder"
        )
        return None
    return towngrow


towngrow = _import()


def missing_message():
    """Why the module cannot be used, or None when it is there."""
    return _MISSING


def require():
    """The towngrow module; QgsProcessingException with the install hint when it is missing."""
    if towngrow is None:
        raise QgsProcessingException(_MISSING)
    return towngrow
