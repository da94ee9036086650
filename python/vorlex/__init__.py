"""vorlex: the codecs of libvorlex for Python.

Frames (the ``.vlx`` container: blocks, sizes and checksums) are what
``compress``/``decompress`` and ``open`` read and write, byte-identical to the
``vorlex`` tool's files. ``Codec`` gives the raw codecs, and
``vorlex.numcodecs.Vorlex`` is a numcodecs codec for Zarr arrays.

>>> import vorlex
>>> packed = vorlex.compress(b"abc" * 1000, codec="lzjb")
>>> vorlex.decompress(packed) == b"abc" * 1000
True
>>> packed = vorlex.compress(b"abc" * 1000, codec="zstd", level=9)
>>> with vorlex.open("log.vlx", "wt") as f:
...     f.write("hello\\n")
"""
try:
    from ._vorlex import (
        DEFAULT_BLOCK_SIZE,
        MAX_BLOCK_SIZE,
        Codec,
        Error,
        __version__,
        codecs,
        compress,
        decompress,
    )
except ImportError as e:
    # Most often libvorlex.so.0 is not where the module was built to find
    # it (a copied package, a removed prefix): say so, where it happens.
    raise ImportError(f"vorlex: its compiled module cannot be loaded from "
                      f"{__path__[0]}: {e}. The package needs the libvorlex it was "
                      f"built against (see docs/python.md).") from e
from ._file import VorlexFile, open

__all__ = [
    "Codec",
    "DEFAULT_BLOCK_SIZE",
    "Error",
    "MAX_BLOCK_SIZE",
    "VorlexFile",
    "codecs",
    "compress",
    "decompress",
    "open",
]

Error.__module__ = "vorlex"
Codec.__module__ = "vorlex"


def __getattr__(name):
    # vorlex.numcodecs imports numcodecs and vorlex.dask imports dask, which
    # plain users need not have: each loads on first use (numcodecs registers
    # the codec then).
    if name in ("numcodecs", "dask"):
        import importlib

        return importlib.import_module(".numcodecs", __name__)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
