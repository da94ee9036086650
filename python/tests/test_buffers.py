"""vorlex.compress/decompress and vorlex.Codec: round trips, byte identity
with the tool, the buffer types taken, and every kind of failure."""
import array
import contextlib
import threading

import numpy as np
import pytest

import vorlex
from conftest import ALL_CODECS, CODECS, sample

DATA = sample(300_000)


def test_codecs_lists_all_nine():
    assert set(vorlex.codecs()) >= set(ALL_CODECS)
    assert vorlex.codecs() == sorted(vorlex.codecs())


@pytest.mark.parametrize("codec", ALL_CODECS)
@pytest.mark.parametrize("block_size", [1024, 1 << 20])
def test_frame_matches_the_tool(cli, codec, block_size):
    packed = vorlex.compress(DATA, codec, block_size=block_size)
    assert packed == cli(["-c", "-B", str(block_size), "--codec", codec], DATA)
    assert vorlex.decompress(packed) == DATA
    assert cli(["-d", "-c"], packed) == DATA


@pytest.mark.parametrize("codec", ALL_CODECS)
@pytest.mark.parametrize("n", [1000, len(DATA)])  # one step of the tool's stream, and several
def test_raw_matches_the_tool(cli, codec, n):
    c = vorlex.Codec(codec)
    assert c.name == codec
    raw = c.compress(DATA[:n])
    assert raw == cli(["--raw", "-c", "--codec", codec], DATA[:n])
    # Exact size for every codec: brieflz needs it, the others take it as a capacity.
    assert c.decompress(raw, n) == DATA[:n]
    assert len(raw) <= c.max_compressed_size(n)
    if c.records_size or codec in ("lz4", "zstd", "gzip"):
        assert c.decompress(raw) == DATA[:n]
    # What the tool compresses the tool decodes; so does the codec, sizeless.
    assert cli(["--raw", "-d", "-c", "--codec", codec, "--size", str(n)], raw) == DATA[:n]


@pytest.mark.parametrize("codec, level", [
    ("zstd", 1), ("zstd", 19), ("zstd", -5), ("lz4", 12), ("gzip", 1), ("gzip", 9),
    ("snappy", 7), ("lzjb", 3),  # codecs without levels ignore one
])
def test_levels_match_the_tool(cli, codec, level):
    args = ["--codec", codec, f"--level={level}"]
    # A codec without levels ignores one, with a warning, as the tool does.
    no_levels = vorlex.Codec(codec).levels is None
    def warns():
        return (pytest.warns(UserWarning, match="has no compression levels") if no_levels
                else contextlib.nullcontext())
    with warns():
        frame = vorlex.compress(DATA, codec, block_size=65536, level=level)
    assert frame == cli(["-c", "-B", "64K", *args], DATA)
    assert vorlex.decompress(frame) == DATA
    with warns():
        raw = vorlex.Codec(codec, level=level).compress(DATA)
    assert raw == cli(["--raw", "-c", *args], DATA)
    assert vorlex.Codec(codec).decompress(raw, len(DATA)) == DATA
    if vorlex.Codec(codec).levels is None:
        assert frame == vorlex.compress(DATA, codec, block_size=65536)


def test_levels_change_the_output():
    sizes = [len(vorlex.compress(DATA, "zstd", level=level)) for level in (1, 3, 19)]
    assert sizes[0] > sizes[1] > sizes[2], sizes
    assert vorlex.compress(DATA, "zstd") == vorlex.compress(DATA, "zstd", level=3)
    assert vorlex.Codec("zstd").levels == (-131072, 22, 3)
    assert vorlex.Codec("gzip", level=0).compress(DATA) != vorlex.Codec("gzip").compress(DATA)


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
    (lambda: vorlex.compress(b"x", "zstd", level=23), ValueError, r"levels -131072 to 22\)"),
    (lambda: vorlex.compress(b"x", "lz4", level=0), ValueError, "no level 0 .levels 1 to 12"),
    (lambda: vorlex.Codec("gzip", level=10), ValueError, "levels 0 to 9"),
    (lambda: vorlex.Codec("zstd", level=1 << 70), ValueError, "levels"),
    (lambda: vorlex.compress(b"x", "zstd", level=True), TypeError, "integer or None"),
    (lambda: vorlex.compress(b"x", "snappy", level=1.0), TypeError, "integer or None"),
    (lambda: vorlex.Codec("zstd", level="9"), TypeError, "integer or None"),
    (lambda: vorlex.Codec("zstd", 9), TypeError, ""),  # level is keyword-only
    (lambda: vorlex.Codec("gzip").decompress(b"\x1f\x8b\x08junk"), vorlex.Error, "gzip"),
    (lambda: vorlex.Codec("zstd").decompress(vorlex.Codec("zstd").compress(DATA)[:-9]),
     vorlex.Error, "zstd"),
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
    for codec in ALL_CODECS:
        c = vorlex.Codec(codec)
        for data in cases[::5]:
            for size in (4096, None):
                try:
                    c.decompress(data, size)
                except (vorlex.Error, ValueError):  # ValueError: no size given, none recorded
                    pass


def test_codec_objects():
    c = vorlex.Codec("lzjb")
    assert repr(c) == "vorlex.Codec('lzjb')"
    assert c == vorlex.Codec("lzjb") and c != vorlex.Codec("copy")
    z = vorlex.Codec("zstd", level=-3)
    assert (repr(z), z.level, c.level) == ("vorlex.Codec('zstd', level=-3)", -3, None)
    assert z != vorlex.Codec("zstd") and hash(z) == hash(vorlex.Codec("zstd", level=-3))
    import pickle

    assert pickle.loads(pickle.dumps(c)) == c
    assert pickle.loads(pickle.dumps(z)) == z
    assert vorlex.Error.__mro__[1] is Exception


def test_decompression_bombs_stay_small():
    # One frame of 16 MiB of zeros, a few hundred bytes, and the same frame
    # a thousand times: records that claim 16 GiB. Damaged in the second
    # frame's payload, the claim is a lie: decoding stops there with
    # vorlex.Error, having allocated in proportion to what it decoded.
    import tracemalloc
    one = vorlex.compress(bytes(16 << 20), "zstd", block_size=16 << 20)
    bomb = one * 1000
    damaged = bytearray(bomb)
    damaged[len(one) + len(one) // 2] ^= 0x55
    tracemalloc.start()
    try:
        with pytest.raises(vorlex.Error):
            vorlex.decompress(bytes(damaged))
        assert tracemalloc.get_traced_memory()[1] < 256 << 20
        # max_length: refused before anything is decoded or allocated.
        with pytest.raises(vorlex.Error, match="more than max_length=1000000"):
            vorlex.decompress(bomb, max_length=1000000)
        assert tracemalloc.get_traced_memory()[1] < 256 << 20
    finally:
        tracemalloc.stop()
    assert vorlex.decompress(one * 2, max_length=32 << 20) == bytes(32 << 20)
    with pytest.raises(vorlex.Error, match="max_length"):
        vorlex.decompress(one * 2, max_length=(32 << 20) - 1)
