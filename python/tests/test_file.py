"""vorlex.open: binary and text file objects, against the tool's files."""
import io
import os
import resource
import shutil
import subprocess
import sys

import pytest

import vorlex
from conftest import ALL_CODECS, sample

DATA = sample(500_000)


@pytest.mark.parametrize("codec, level", [(c, None) for c in ALL_CODECS] + [
    ("zstd", 19), ("lz4", 9), ("gzip", 2), ("snappy", 1)])
def test_tool_and_file_object_read_each_other(tmp_path, cli, codec, level):
    path = tmp_path / "a.vlx"
    with vorlex.open(path, "wb", codec=codec, block_size=65536, level=level) as f:
        for i in range(0, len(DATA), 70_001):  # writes that straddle blocks
            assert f.write(DATA[i:i + 70_001]) == len(DATA[i:i + 70_001])
    written = path.read_bytes()
    args = [] if level is None else ["--level", str(level)]
    assert written == cli(["-c", "-B", "64K", "--codec", codec, *args], DATA)
    assert cli(["-d", "-c", str(path)]) == DATA
    with vorlex.open(io.BytesIO(written)) as f:
        assert f.read() == DATA


@pytest.mark.parametrize("threads", [1, 3])
def test_threads_write_the_same_bytes(tmp_path, threads):
    buf = io.BytesIO()
    with vorlex.open(buf, "wb", codec="lzjb", block_size=4096, threads=threads) as f:
        f.write(DATA)
        assert not buf.closed
    assert buf.getvalue() == vorlex.compress(DATA, "lzjb", block_size=4096)
    with vorlex.open(io.BytesIO(buf.getvalue()), threads=threads) as f:
        assert f.read() == DATA


def test_text_mode_lines_and_iteration(tmp_path):
    path = tmp_path / "t.vlx"
    lines = [f"line {i} \u00e9\n" for i in range(20_000)]
    with vorlex.open(path, "wt", encoding="utf-8", block_size=4096) as f:
        f.writelines(lines)
    # Closing a text wrapper flushes it: a flush at the very end changes no byte.
    assert path.read_bytes() == vorlex.compress("".join(lines).encode(), block_size=4096)
    with vorlex.open(path, "rt", encoding="utf-8") as f:
        assert f.readline() == lines[0]
        assert list(f) == lines[1:]
    with vorlex.open(path, "rb") as f:
        assert f.readline() == lines[0].encode()
        assert sum(1 for _ in f) == len(lines) - 1


def test_flush_makes_everything_so_far_readable(cli):
    buf = io.BytesIO()
    f = vorlex.open(buf, "wb", block_size=65536)
    f.write(DATA[:1000])
    f.flush()
    reader = vorlex.open(io.BytesIO(buf.getvalue()))
    assert reader.read1(2000) == DATA[:1000]
    f.write(DATA[1000:])
    f.close()
    assert cli(["-d", "-c"], buf.getvalue()) == DATA


def test_append_makes_a_second_frame_and_copyfileobj_streams(tmp_path):
    path = tmp_path / "c.vlx"
    for part in (DATA[:1000], DATA[1000:]):
        with vorlex.open(path, "ab", codec="fari") as f:
            shutil.copyfileobj(io.BytesIO(part), f)
    out = io.BytesIO()
    with vorlex.open(str(path)) as f:
        shutil.copyfileobj(f, out, 7777)
    assert out.getvalue() == DATA
    with pytest.raises(FileExistsError):
        vorlex.open(path, "xb")


@pytest.mark.parametrize("mutate, message", [
    (lambda b: b[:-3], "trunc"),
    (lambda b: b[:len(b) // 2], "trunc"),
    (lambda b: b + b"garbage!", "trailing"),
    (lambda b: b[:100] + bytes([b[100] ^ 1]) + b[101:], ""),
])
def test_damaged_file_raises(mutate, message):
    good = vorlex.compress(DATA, "quicklz", block_size=65536)
    with vorlex.open(io.BytesIO(mutate(good))) as f:
        with pytest.raises(vorlex.Error, match=message):
            f.read()


@pytest.mark.parametrize("call, exception", [
    (lambda p: vorlex.open(p, "rw"), ValueError),
    (lambda p: vorlex.open(p, "rbt"), ValueError),
    (lambda p: vorlex.open(p, "rb", encoding="utf-8"), ValueError),
    (lambda p: vorlex.open(p, "wb", block_size=0), ValueError),
    (lambda p: vorlex.open(p, "wb", threads=-1), ValueError),
    (lambda p: vorlex.open(p, "wb", codec="nosuch"), vorlex.Error),
    (lambda p: vorlex.open(12.5, "rb"), TypeError),
    (lambda p: vorlex.open(p, "wb", codec=b"lzjb"), TypeError),
    (lambda p: vorlex.open(p, "wb", codec="zstd", level=30), ValueError),
    (lambda p: vorlex.open(p, "wt", codec="gzip", level=-1), ValueError),
    (lambda p: vorlex.open(p, "wb", codec="zstd", level="1"), TypeError),
    (lambda p: vorlex.open(p, "rb", level=False), TypeError),
])
def test_bad_arguments(tmp_path, call, exception):
    with pytest.raises(exception):
        call(tmp_path / "x.vlx")
    assert not (tmp_path / "x.vlx").exists()


def test_closed_and_wrong_direction(tmp_path):
    f = vorlex.open(tmp_path / "d.vlx", "wb")
    with pytest.raises(io.UnsupportedOperation):
        f.read()
    f.close()
    f.close()
    with pytest.raises(ValueError):
        f.write(b"x")
    assert vorlex.open(tmp_path / "d.vlx").read() == b""


def test_memory_stays_bounded(tmp_path):
    # 256 MiB through a file and back in a fresh process: its peak resident
    # size must not grow with the data.
    script = (
        "import resource, sys, vorlex\n"
        "chunk = bytes(range(256)) * 4096\n"
        "with vorlex.open(sys.argv[1], 'wb', codec='copy') as f:\n"
        "    for _ in range(256): f.write(chunk)\n"
        "n = 0\n"
        "with vorlex.open(sys.argv[1]) as f:\n"
        "    while block := f.read(1 << 20): n += len(block)\n"
        "assert n == 256 << 20, n\n"
        "print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)\n")
    r = subprocess.run([sys.executable, "-c", script, str(tmp_path / "big.vlx")],
                       capture_output=True, text=True, env=os.environ)
    assert r.returncode == 0, r.stderr
    assert int(r.stdout) < 64 * 1024, f"peak {int(r.stdout) // 1024} MiB"


class _Unseekable(io.RawIOBase):
    def __init__(self, data):
        self._data = io.BytesIO(data)

    def readable(self):
        return True

    def readinto(self, b):
        return self._data.readinto(b)


@pytest.mark.parametrize("opener", [
    lambda p: vorlex.open(p),                               # a path: pread on its descriptor
    lambda p: vorlex.open(io.BytesIO(p.read_bytes())),      # a file object: its seek and read
    lambda p: vorlex.open(open(p, "rb")),                   # an open file: its descriptor
])
def test_seek_reads_like_a_buffered_reader(tmp_path, opener):
    path = tmp_path / "s.vlx"
    with vorlex.open(path, "wb", codec="lzjb", block_size=4096) as f:
        f.write(DATA)
    expect = io.BytesIO(DATA)
    import random
    rng = random.Random(3)
    with opener(path) as f:
        assert f.seekable()
        assert f.read(100) == expect.read(100) and f.tell() == 100  # in order, then seeks
        for _ in range(60):
            whence = rng.choice([io.SEEK_SET, io.SEEK_CUR, io.SEEK_END])
            offset = {io.SEEK_SET: rng.randrange(len(DATA) + 10),
                      io.SEEK_CUR: rng.randrange(-f.tell(), 5000),
                      io.SEEK_END: -rng.randrange(len(DATA))}[whence]
            assert f.seek(offset, whence) == expect.seek(offset, whence)
            n = rng.choice([0, 1, 100, 5000, 70_000])
            assert f.read(n) == expect.read(n)
            assert f.tell() == expect.tell()
        f.seek(1000)
        expect.seek(1000)
        assert f.readline() == expect.readline()
        assert f.tell() == expect.tell()
        with pytest.raises(ValueError):
            f.seek(-1)


def test_seek_costs_the_blocks_it_needs_and_damage_stays_in_its_block(tmp_path):
    data = sample(64 * 4096, seed=4)
    packed = bytearray(vorlex.compress(data, "copy", block_size=4096))
    with vorlex.open(io.BytesIO(bytes(packed))) as f:
        f.seek(10 * 4096 + 7)
        assert f.read(10) == data[10 * 4096 + 7:10 * 4096 + 17]
        info = f._random._frames.info()
        assert info["blocks_decoded"] == 1 and info["indexed_frames"] == 1
    header, record = 19, 17 + 4096
    packed[header + 5 * record + 17 + 9] ^= 1  # block 6's data
    with vorlex.open(io.BytesIO(bytes(packed))) as f:
        f.seek(7 * 4096)
        assert f.read(4096) == data[7 * 4096:8 * 4096]
        f.seek(5 * 4096 + 1)
        with pytest.raises(vorlex.Error, match=f"block 6 at byte {header + 5 * record}: "
                                               "checksum mismatch"):
            f.read(10)


def test_unseekable_input_only_winds_forward():
    packed = vorlex.compress(DATA, "lzjb", block_size=4096)
    with vorlex.open(io.BufferedReader(_Unseekable(packed))) as f:
        assert not f.seekable()
        assert f.seek(1000) == 1000 and f.read(10) == DATA[1000:1010]
        assert f.seek(5, io.SEEK_CUR) == 1015 and f.tell() == 1015
        with pytest.raises(io.UnsupportedOperation):
            f.seek(0)


def test_max_length_bounds_what_reading_decodes():
    packed = vorlex.compress(bytes(1 << 20), "lz4")
    for limit, ok in ((1 << 20, True), ((1 << 20) - 1, False), (1000, False)):
        with vorlex.open(io.BytesIO(packed), max_length=limit) as f:
            if ok:
                assert f.read() == bytes(1 << 20)
            else:
                with pytest.raises(vorlex.Error, match=f"max_length={limit}"):
                    f.read()
    with pytest.raises(ValueError, match="for reading"):
        vorlex.open(io.BytesIO(), "wb", max_length=10)
    # A seek does not get round it.
    with vorlex.open(io.BytesIO(packed), max_length=1000) as f:
        f.seek(500)
        assert f.read(500) == bytes(500)
        with pytest.raises(vorlex.Error, match="max_length=1000"):
            f.read()


def test_reader_with_workers_goes_on_after_fork(tmp_path):
    # The child of a fork has none of the reader's worker threads: it must
    # restart them and read on (an alarm ends it if it hangs), as the
    # parent does.
    import signal
    data = sample(3 << 20)
    path = tmp_path / "f.vlx"
    with vorlex.open(path, "wb", codec="lzjb", block_size=128 << 10) as f:
        f.write(data)
    # From memory: a file's offset would be shared by the two processes.
    with vorlex.open(io.BytesIO(path.read_bytes()), threads=3) as f:
        assert f.read(1 << 20) == data[:1 << 20]
        pid = os.fork()
        if pid == 0:
            signal.alarm(30)
            try:
                os._exit(0 if f.read() == data[1 << 20:] else 1)
            finally:
                os._exit(2)
        assert f.read() == data[1 << 20:]
    _, status = os.waitpid(pid, 0)
    assert os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0, status


def test_writer_takes_a_filter(tmp_path):
    import numpy as np
    data = np.cumsum(np.arange(50_000, dtype="<i4") % 7, dtype="<i4").tobytes()
    path = tmp_path / "filtered.vlx"
    with vorlex.open(path, "wb", codec="lz4", block_size=65536, filter="shuffle",
                     typesize=4) as f:
        f.write(data[:1000])
        f.write(data[1000:])
    packed = path.read_bytes()
    assert packed == vorlex.compress(data, "lz4", block_size=65536, filter="shuffle", typesize=4)
    assert packed != vorlex.compress(data, "lz4", block_size=65536)
    with vorlex.open(path) as f:
        assert f.read() == data
    with pytest.raises(ValueError, match="unknown filter"):
        vorlex.open(tmp_path / "x.vlx", "wb", filter="zigzag")
