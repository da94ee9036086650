"""vorlex.compress/decompress and vorlex.Codec: round trips, byte identity
with the tool, the buffer types taken, and every kind of failure."""
import array
import threading

import numpy as np
import pytest

import vorlex
from conftest import CODECS, sample

DATA = sample(300_000)


def test_codecs_lists_the_five():
    assert set(vorlex.codecs()) >= set(CODECS)
    assert vorlex.codecs() == sorted(vorlex.codecs())


@pytest.mark.parametrize("codec", CODECS)
@pytest.mark.parametrize("block_size", [1024, 1 << 20])
def test_frame_matches_the_tool(cli, codec, block_size):
    packed = vorlex.compress(DATA, codec, block_size=block_size)
    assert packed == cli(["-c", "-B", str(block_size), "--codec", codec], DATA)
    assert vorlex.decompress(packed) == DATA
    assert cli(["-d", "-c"], packed) == DATA


@pytest.mark.parametrize("codec", CODECS)
def test_raw_matches_the_tool(cli, codec):
    c = vorlex.Codec(codec)
    assert c.name == codec
    raw = c.compress(DATA)
    assert raw == cli(["--raw", "-c", "--codec", codec], DATA)
    # Exact size for every codec: brieflz needs it, the others take it as a capacity.
    assert c.decompress(raw, len(DATA)) == DATA
    assert len(raw) <= c.max_compressed_size(len(DATA))
    if c.records_size:
        assert c.decompress(raw) == DATA


@pytest.mark.parametrize("codec", CODECS)
@pytest.mark.parametrize("n", [0, 1, 1023, 1025])
def test_small_inputs_round_trip(codec, n):
    data = DATA[:n]
    assert vorlex.decompress(vorlex.compress(data, codec, block_size=1024)) == data


@pytest.mark.parametrize("make", [
    bytes, bytearray, memoryview, lambda b: array.array("B", b),
    lambda b: np.frombuffer(b, dtype=np.uint32).reshape(-1, 10),
    lambda b: memoryview(b"xx" + b)[2:],  # an address no allocator hands out
])
def test_buffer_types(make):
    view = make(DATA[:40_000])
    for codec in ("lzjb", "quicklz"):
        assert vorlex.decompress(vorlex.compress(view, codec)) == DATA[:40_000]
        assert vorlex.Codec(codec).compress(view) == vorlex.Codec(codec).compress(DATA[:40_000])


def test_threads_compress_at_once():
    chunks = [sample(200_000, seed) for seed in range(4)]
    results = [None] * len(chunks)

    def work(i):
        results[i] = vorlex.decompress(vorlex.compress(chunks[i], "fari"))

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(chunks))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == chunks


def _frame():
    return bytearray(vorlex.compress(DATA, "lzjb", block_size=65536))


def _damaged():
    f = _frame()
    f[len(f) // 2] ^= 0x40
    return f


@pytest.mark.parametrize("call, exception, message", [
    (lambda: vorlex.decompress(_damaged()), vorlex.Error, ""),
    (lambda: vorlex.decompress(_frame()[:-5]), vorlex.Error, "trunc"),
    (lambda: vorlex.decompress(_frame() + b"junk"), vorlex.Error, "trailing"),
    (lambda: vorlex.decompress(b"not a frame at all"), vorlex.Error, ""),
    (lambda: vorlex.compress(b"x", "nosuch"), vorlex.Error, "unknown codec 'nosuch'"),
    (lambda: vorlex.Codec("../etc"), vorlex.Error, "unknown codec"),
    (lambda: vorlex.Codec("lzjb").decompress(b"\xff" * 64, 10), vorlex.Error, "lzjb"),
    (lambda: vorlex.Codec("lzjb").decompress(b"abc"), ValueError, "records no size"),
    (lambda: vorlex.compress("text"), TypeError, "bytes-like"),
    (lambda: vorlex.decompress(None), TypeError, "bytes-like"),
    (lambda: vorlex.compress(b"x", 5), TypeError, "str"),
    (lambda: vorlex.compress(b"x", block_size=1.5), TypeError, "integer"),
    (lambda: vorlex.compress(b"x", block_size=0), ValueError, "block_size"),
    (lambda: vorlex.compress(b"x", block_size=(64 << 20) + 1), ValueError, "block_size"),
    (lambda: vorlex.compress(np.zeros((4, 4))[:, 1]), ValueError, "contiguous"),
    (lambda: vorlex.Codec("copy").decompress(b"x", -1), ValueError, "negative"),
    (lambda: vorlex.Codec("copy").max_compressed_size("1"), TypeError, "integer"),
])
def test_failures(call, exception, message):
    with pytest.raises(exception, match=message):
        call()


def test_any_bytes_fail_cleanly():
    # Every cut and many flips of a frame: an answer or vorlex.Error, no crash.
    frame = bytes(_frame()[:3000])
    cases = [frame[:i] for i in range(0, len(frame), 7)]
    cases += [frame[:i] + bytes([frame[i] ^ 0x01]) + frame[i + 1:] for i in range(0, 200)]
    for data in cases:
        try:
            vorlex.decompress(data)
        except vorlex.Error:
            pass
    for codec in CODECS:
        c = vorlex.Codec(codec)
        for data in cases[::5]:
            try:
                c.decompress(data, 4096)
            except vorlex.Error:
                pass


def test_codec_objects():
    c = vorlex.Codec("lzjb")
    assert repr(c) == "vorlex.Codec('lzjb')"
    assert c == vorlex.Codec("lzjb") and c != vorlex.Codec("copy")
    import pickle

    assert pickle.loads(pickle.dumps(c)) == c
    assert vorlex.Error.__mro__[1] is Exception
