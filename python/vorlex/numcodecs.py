"""The vorlex codec for numcodecs and Zarr.

``Vorlex(codec="lzjb")`` compresses each chunk into one frame, so every chunk
names its codec and carries its checksums. The codec registers with numcodecs
when this module is imported, and numcodecs finds it by itself through the
``numcodecs.codecs`` entry point, so ``numcodecs.get_codec({"id": "vorlex",
"codec": "lzjb"})`` works (and Zarr arrays written with it open) in a program
that never imports vorlex. ``Vorlex(codec="zstd", level=9)`` compresses at a
level; the configuration records it only when it is set.
``Vorlex(codec="lz4", filter="auto")`` rearranges the elements of each block
first (shuffle, bitshuffle, delta, or the best of them per block), which is
what numeric arrays need; the element size is the array's item size unless
``typesize`` says otherwise. The configuration records ``filter`` and
``typesize`` only when they are set, so arrays written without them keep
their configuration.

>>> import zarr
>>> from vorlex.numcodecs import Vorlex
>>> z = zarr.open("a.zarr", mode="w", shape=(1000, 1000), chunks=(100, 1000),
...               dtype="f8", compressor=Vorlex(codec="lzjb"))
"""
import operator
from typing import Any, Dict, Optional

from numcodecs.abc import Codec as _NumcodecsCodec
from numcodecs.compat import ensure_contiguous_ndarray
from numcodecs.registry import register_codec

from . import _vorlex

__all__ = ["Vorlex", "check_workers"]

_FILTERS = ("none", "shuffle", "bitshuffle", "delta", "auto")


class Vorlex(_NumcodecsCodec):
    """A numcodecs codec: each chunk is one vorlex frame.

    Parameters
    ----------
    codec : str
        The libvorlex codec that compresses the blocks (see vorlex.codecs()).
    block_size : int
        The largest block a chunk is cut into, 1 byte to 64 MiB.
    level : int, optional
        The codec's compression level (None: its default; codecs without
        levels ignore it). Decoding does not need it. The configuration holds
        ``"level"`` only when it is set.
    filter : str, optional
        "shuffle", "bitshuffle", "delta" or "auto" (None: no filter). The
        frame records it: decoding does not need it.
    typesize : int, optional
        The element size the filter works on, 1 to 255 (None: the item size
        of each array encoded).
    """

    codec_id = "vorlex"

    def __init__(self, codec: str = "quicklz", block_size: int = _vorlex.DEFAULT_BLOCK_SIZE,
                 level: Optional[int] = None, filter: Optional[str] = None,
                 typesize: Optional[int] = None):
        if not isinstance(codec, str):
            raise TypeError(f"codec must be a str, not {type(codec).__name__!r}")
        if isinstance(block_size, bool) or not isinstance(block_size, int):
            raise TypeError(f"block_size must be an integer, not {type(block_size).__name__!r}")
        if not 1 <= block_size <= _vorlex.MAX_BLOCK_SIZE:
            raise ValueError(f"block_size must be 1 to {_vorlex.MAX_BLOCK_SIZE}, not {block_size}")
        # vorlex.Error (unknown codec) or ValueError (a level it does not
        # have) now, rather than at the first chunk.
        _vorlex.Codec(codec, level=level)
        if filter is not None and not isinstance(filter, str):
            raise TypeError(f"filter must be a str or None, not {type(filter).__name__!r}")
        if filter is not None and filter not in _FILTERS:
            raise ValueError(f"unknown filter {filter!r} (one of {', '.join(_FILTERS)})")
        if typesize is not None:
            if isinstance(typesize, bool) or not hasattr(typesize, "__index__"):
                raise TypeError(f"typesize must be an integer or None, not "
                                f"{type(typesize).__name__!r}")
            typesize = operator.index(typesize)
            if not 1 <= typesize <= 255:
                raise ValueError(f"typesize must be 1 to 255, not {typesize}")
        self.codec = codec
        self.block_size = block_size
        self.level = None if level is None else operator.index(level)
        self.filter = filter
        self.typesize = typesize

    def encode(self, buf: Any) -> bytes:
        data = ensure_contiguous_ndarray(buf)
        filter = None if self.filter == "none" else self.filter
        typesize = self.typesize
        if filter is not None and typesize is None:
            # The array's element size (over 255 bytes is refused: give a
            # typesize then).
            typesize = data.itemsize
        return _vorlex.compress(data, self.codec, block_size=self.block_size, level=self.level,
                                filter=filter, typesize=typesize)

    def decode(self, buf: Any, out: Optional[Any] = None) -> Any:
        data = ensure_contiguous_ndarray(buf)
        if out is None:
            return _vorlex.decompress(data)
        target = ensure_contiguous_ndarray(out)
        n = _vorlex._decompress_into(data, target)
        if n != target.nbytes:
            raise ValueError(f"decoded {n} bytes into an output of {target.nbytes}")
        return out

    def get_config(self) -> Dict[str, Any]:
        config = {"id": self.codec_id, "codec": self.codec, "block_size": self.block_size}
        if self.level is not None:
            config["level"] = self.level
        if self.filter is not None:
            config["filter"] = self.filter
        if self.typesize is not None:
            config["typesize"] = self.typesize
        return config

    def __repr__(self) -> str:
        level = "" if self.level is None else f", level={self.level}"
        filter = "" if self.filter is None else f", filter={self.filter!r}"
        typesize = "" if self.typesize is None else f", typesize={self.typesize}"
        return (f"Vorlex(codec={self.codec!r}, block_size={self.block_size}"
                f"{level}{filter}{typesize})")


register_codec(Vorlex)


def check_workers(client, codecs=()):
    """Asks every worker of a dask.distributed client whether it can use
    vorlex: import it (and numcodecs) and load the codecs named. Returns
    {worker address: "ok VERSION PATH"}; raises RuntimeError naming each
    worker that cannot, and why.

    Run it once after connecting: a worker without a usable vorlex cannot
    decode a chunk, and one that dies trying leaves the client waiting for
    results that never come, with no message.
    """
    import cloudpickle

    from . import _probe

    # By value: the worker needs nothing of vorlex to run the question.
    cloudpickle.register_pickle_by_value(_probe)
    answers = client.run(_probe.probe, list(codecs))
    bad = {w: a for w, a in answers.items() if not a.startswith("ok ")}
    if bad:
        lines = "\n".join(f"  {w}: {a}" for w, a in sorted(bad.items()))
        raise RuntimeError(f"{len(bad)} of {len(answers)} dask workers cannot use vorlex:\n"
                           f"{lines}\nInstall vorlex where they run (docs/python.md).")
    return answers
