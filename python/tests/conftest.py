"""Shared helpers: the program built beside the module, and its maps as arrays."""
import os
import subprocess

import numpy as np
import pytest


@pytest.fixture(scope="session")
def program():
    """Runs the towngrow program of this build (TOWNGROW_EXE, set by CTest)."""
    exe = os.environ.get("TOWNGROW_EXE")
    if not exe or not os.path.exists(exe):
        pytest.skip("TOWNGROW_EXE does not name the towngrow program")

    def run(*args):
        subprocess.run([exe, *map(str, args)], check=True, capture_output=True)

    return run


def read_asc(path):
    """The IDs of an ESRI ASCII grid, read without the module."""
    return np.loadtxt(path, skiprows=6, dtype=np.int64).astype(np.uint8)
