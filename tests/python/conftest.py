"""Fixtures of the Python module's tests: the module, the command line beside it, and small exemplars.

CTest runs these with PYTHONPATH set to the module's folder and TEXSYNTH_EXECUTABLE to the program built
with it; run by hand from the repository root they find both in build/.
"""
import os
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

SOURCE_DIR = Path(__file__).resolve().parents[2]
BUILD_DIR = SOURCE_DIR / "build"
if "PYTHONPATH" not in os.environ:
    sys.path.insert(0, str(BUILD_DIR / "python"))  # this tree's module, before any installed one
import texsynth  # noqa: E402

EXECUTABLE = os.environ.get("TEXSYNTH_EXECUTABLE", str(BUILD_DIR / "texsynth"))


def run_cli(*arguments, cwd):
    """Runs the command line; returns (status, stdout, stderr)."""
    run = subprocess.run([EXECUTABLE, "--quiet", *map(str, arguments)], cwd=cwd, capture_output=True, text=True,
                         timeout=120)
    return run.returncode, run.stdout, run.stderr


def cli_help():
    return subprocess.run([EXECUTABLE, "--help"], capture_output=True, text=True, timeout=30).stdout


@pytest.fixture(scope="session")
def demo():
    """The shipped 128 x 128 cobblestone exemplar, as the program reads it."""
    return texsynth.read_image(SOURCE_DIR / "demo" / "demo2.bmp")


@pytest.fixture(scope="session")
def small(demo):
    """A 40 x 32 crop of it: big enough for the chosen levels, small enough to be quick."""
    return np.ascontiguousarray(demo[10:42, 20:60])


@pytest.fixture(scope="session")
def transparent(demo):
    """The demo exemplar with alpha: a see-through disc in the middle and ramps elsewhere."""
    y, x = np.mgrid[0:128, 0:128]
    alpha = np.where((x - 64) ** 2 + (y - 64) ** 2 < 400, 0, (x * 7 + y) % 256).astype(np.uint8)
    return np.dstack([demo, alpha])
