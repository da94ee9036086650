"""The numcodecs codec: configuration, decode into out, the entry point in a
fresh interpreter, and Zarr arrays read back by another process."""
import os
import subprocess
import sys

import numcodecs
import numpy as np
import pytest
import zarr

import vorlex
from conftest import ALL_CODECS
from vorlex.numcodecs import Vorlex

ARRAY = (np.arange(200_000, dtype="i4") % 1000).reshape(400, 500)


def run_fresh(code, *args):
    r = subprocess.run([sys.executable, "-c", code, *map(str, args)], capture_output=True,
                       text=True, env=os.environ)
    assert r.returncode == 0, r.stderr
    return r.stdout


@pytest.mark.parametrize("codec", ALL_CODECS)
def test_encode_decode(codec):
    c = Vorlex(codec=codec, block_size=65536)
    assert c.get_config() == {"id": "vorlex", "codec": codec, "block_size": 65536}
    assert numcodecs.get_codec(c.get_config()) == c
    encoded = c.encode(ARRAY)
    assert encoded == vorlex.compress(ARRAY.tobytes(), codec, block_size=65536)
    assert np.frombuffer(c.decode(encoded), dtype="i4").tolist() == ARRAY.ravel().tolist()
    out = np.empty_like(ARRAY)
    assert c.decode(encoded, out=out) is out
    assert (out == ARRAY).all()
    with pytest.raises((ValueError, vorlex.Error)):
        c.decode(encoded, out=np.empty(10, dtype="i4"))


@pytest.mark.parametrize("codec, level", [("zstd", 9), ("zstd", -1), ("gzip", 1), ("snappy", 4)])
def test_level_in_config(codec, level):
    c = Vorlex(codec=codec, block_size=65536, level=level)
    config = {"id": "vorlex", "codec": codec, "block_size": 65536, "level": level}
    assert c.get_config() == config
    assert numcodecs.get_codec(dict(config)) == c != Vorlex(codec=codec, block_size=65536)
    assert repr(c) == f"Vorlex(codec={codec!r}, block_size=65536, level={level})"
    encoded = c.encode(ARRAY)
    assert encoded == vorlex.compress(ARRAY.tobytes(), codec, block_size=65536, level=level)
    assert (np.frombuffer(c.decode(encoded), dtype="i4") == ARRAY.ravel()).all()


def test_bad_config():
    with pytest.raises(vorlex.Error):
        numcodecs.get_codec({"id": "vorlex", "codec": "nosuch"})
    with pytest.raises(ValueError):
        Vorlex(block_size=0)
    with pytest.raises(TypeError):
        Vorlex(codec=1)
    with pytest.raises(ValueError, match="levels 1 to 12"):
        numcodecs.get_codec({"id": "vorlex", "codec": "lz4", "level": 13})
    with pytest.raises(TypeError):
        Vorlex(codec="zstd", level=2.0)


def test_entry_point_in_a_fresh_interpreter():
    out = run_fresh(
        "import sys, numcodecs\n"
        "c = numcodecs.get_codec({'id': 'vorlex', 'codec': 'lzjb'})\n"
        "print(type(c).__module__, c.codec, c.block_size)\n"
        "assert c.decode(c.encode(b'abc' * 999)) == b'abc' * 999\n")
    assert out.split() == ["vorlex.numcodecs", "lzjb", str(1 << 20)]


@pytest.mark.parametrize("filter, typesize", [("shuffle", None), ("bitshuffle", 4),
                                               ("delta", None), ("auto", None)])
def test_filters(filter, typesize):
    c = Vorlex(codec="lz4", block_size=65536, filter=filter, typesize=typesize)
    config = {"id": "vorlex", "codec": "lz4", "block_size": 65536, "filter": filter}
    if typesize is not None:
        config["typesize"] = typesize
    assert c.get_config() == config
    assert numcodecs.get_codec(dict(config)) == c
    encoded = c.encode(ARRAY)
    # The typesize is the array's item size unless given.
    assert encoded == vorlex.compress(ARRAY, "lz4", block_size=65536, filter=filter,
                                      typesize=typesize or 4)
    assert encoded == vorlex.compress(ARRAY.tobytes(), "lz4", block_size=65536, filter=filter,
                                      typesize=typesize or 4)
    assert len(encoded) < len(Vorlex(codec="lz4", block_size=65536).encode(ARRAY))
    assert (np.frombuffer(c.decode(encoded), dtype="i4") == ARRAY.ravel()).all()


def test_bad_filters():
    with pytest.raises(ValueError, match="unknown filter"):
        Vorlex(filter="blosc")
    with pytest.raises(ValueError):
        Vorlex(filter="shuffle", typesize=256)
    with pytest.raises(TypeError):
        Vorlex(filter=1)
    with pytest.raises(ValueError, match="unknown filter"):
        vorlex.compress(b"abcd", filter="Shuffle")
    with pytest.raises(ValueError):
        vorlex.compress(b"abcd", filter="delta", typesize=0)
    with pytest.raises(ValueError, match="only used with a filter"):
        vorlex.compress(b"abcd", typesize=4)
    assert vorlex.compress(b"abcd" * 99, filter="none") == vorlex.compress(b"abcd" * 99)


@pytest.mark.parametrize("codec, level, filter", [("lzjb", None, None), ("brieflz", None, None),
                                                  ("zstd", 7, None), ("lz4", None, "auto"),
                                                  ("zstd", 1, "bitshuffle")])
def test_zarr_array_reads_back_in_another_process(tmp_path, codec, level, filter):
    path = tmp_path / "a.zarr"
    z = zarr.open(str(path), mode="w", shape=ARRAY.shape, chunks=(100, 250), dtype="i4",
                  compressor=Vorlex(codec=codec, level=level, filter=filter))
    z[:] = ARRAY
    import json

    meta = json.loads((path / ".zarray").read_text())
    expected = {"id": "vorlex", "codec": codec, "block_size": 1 << 20}
    if level is not None:
        expected["level"] = level
    if filter is not None:
        expected["filter"] = filter
    assert meta["compressor"] == expected
    out = run_fresh("import sys, zarr\n"
                    "z = zarr.open(sys.argv[1], mode='r')\n"
                    "print(int(z[:].astype('i8').sum()), z.compressor.codec)\n", path)
    assert out.split() == [str(int(ARRAY.sum())), codec]
