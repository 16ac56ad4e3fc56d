"""Texture synthesis: the compiled module's functions, and batches on a Dask cluster (texsynth.batch)."""
from texsynth import _texsynth
from texsynth._texsynth import *  # noqa: F401,F403 (every function of the compiled module, under its name)

__version__ = _texsynth.__version__
__all__ = [name for name in dir(_texsynth) if not name.startswith("_")]
__doc__ = _texsynth.__doc__ + """
Batches: texsynth.batch runs many jobs, described one a line in a JSON Lines file, on a Dask cluster:
    python3 -m texsynth.batch JOBS.jsonl       or   texsynth.batch.run(jobs)
(help(texsynth.batch) tells more).
"""

for _name in __all__:
    # The functions show as the package's own in help() and in messages.
    getattr(_texsynth, _name).__module__ = __name__


def __getattr__(name):
    # texsynth.batch is imported on first use: it brings Dask, which a single call does not need.
    if name == "batch":
        import importlib
        return importlib.import_module(".batch", __name__)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
