"""The vorlex codec for numcodecs and Zarr.

``Vorlex(codec="lzjb")`` compresses each chunk into one frame, so every chunk
names its codec and carries its checksums. The codec registers with numcodecs
when this module is imported, and numcodecs finds it by itself through the
``numcodecs.codecs`` entry point, so ``numcodecs.get_codec({"id": "vorlex",
"codec": "lzjb"})`` works (and Zarr arrays written with it open) in a program
that never imports vorlex. ``Vorlex(codec="zstd", level=9)`` compresses at a
level; the configuration records it only when it is set.

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
    """

    codec_id = "vorlex"

    def __init__(self, codec: str = "quicklz", block_size: int = _vorlex.DEFAULT_BLOCK_SIZE,
                 level: Optional[int] = None):
        if not isinstance(codec, str):
            raise TypeError(f"codec must be a str, not {type(codec).__name__!r}")
        if isinstance(block_size, bool) or not isinstance(block_size, int):
            raise TypeError(f"block_size must be an integer, not {type(block_size).__name__!r}")
        if not 1 <= block_size <= _vorlex.MAX_BLOCK_SIZE:
            raise ValueError(f"block_size must be 1 to {_vorlex.MAX_BLOCK_SIZE}, not {block_size}")
        # vorlex.Error (unknown codec) or ValueError (a level it does not
        # have) now, rather than at the first chunk.
        _vorlex.Codec(codec, level=level)
        self.codec = codec
        self.block_size = block_size
        self.level = None if level is None else operator.index(level)

    def encode(self, buf: Any) -> bytes:
        return _vorlex.compress(ensure_contiguous_ndarray(buf), self.codec,
                                block_size=self.block_size, level=self.level)

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
        return config

    def __repr__(self) -> str:
        level = "" if self.level is None else f", level={self.level}"
        return f"Vorlex(codec={self.codec!r}, block_size={self.block_size}{level})"


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
