"""The HDF5 filter as h5py users meet it: HDF5_PLUGIN_PATH names the folder
of libvorlex-hdf5.so, one process writes with compression=400 and a fresh
process reads; a damaged chunk makes the reader fail with an error, never a
signal."""
import os
import subprocess
import sys

import h5py
import numpy as np

FILTER = 400
CODECS = {1: "quicklz", 2: "brieflz", 3: "fari", 4: "lzjb", 5: "copy",
          6: "lz4", 7: "zstd", 8: "gzip", 9: "snappy"}

# Run by a fresh interpreter: reads every dataset of a file and compares it
# with the data the writer was given.
READER = """
import sys, h5py, numpy as np
expected = (np.arange(300_000, dtype=np.int32) // 7) % 1000
with h5py.File(sys.argv[1], "r") as f:
    for name in f:
        assert np.array_equal(f[name][...], expected), name
print("ok")
"""


def data():
    return (np.arange(300_000, dtype=np.int32) // 7) % 1000


def read_in_fresh_process(path):
    return subprocess.run([sys.executable, "-c", READER, str(path)],
                          capture_output=True, text=True, env=os.environ, check=False)


def test_every_codec_written_here_reads_in_a_fresh_process(tmp_path):
    path = tmp_path / "codecs.h5"
    with h5py.File(path, "w") as f:
        for number, name in CODECS.items():
            level = {6: 9, 7: 12, 8: 6}.get(number, 0)
            for opts in [(number,), (number, 64, level)]:
                d = f.create_dataset(f"{name}-{len(opts)}", data=data(), chunks=(65536,),
                                     compression=FILTER, compression_opts=opts)
                flags, values, _ = d.id.get_create_plist().get_filter_by_id(FILTER)
                # The options given, padded with 0, and the chunk's bytes.
                assert tuple(values) == opts + (0,) * (5 - len(opts)) + (65536 * 4,)
                stored = d.id.get_storage_size()
                if name == "copy":
                    assert stored >= d.nbytes
                else:
                    assert stored < d.nbytes // 2, (name, stored)
    result = read_in_fresh_process(path)
    assert result.returncode == 0, result.stderr
    assert "ok" in result.stdout


def test_damaged_chunk_fails_with_an_error(tmp_path):
    path = tmp_path / "damaged.h5"
    with h5py.File(path, "w") as f:
        d = f.create_dataset("data", data=data(), chunks=(65536,),
                             compression=FILTER, compression_opts=(4,))
        info = d.id.get_chunk_info(1)
    with open(path, "r+b") as f:
        f.seek(info.byte_offset + 8)  # in the frame header, guarded by its checksum
        byte = f.read(1)
        f.seek(-1, os.SEEK_CUR)
        f.write(bytes([byte[0] ^ 0x10]))
    result = read_in_fresh_process(path)
    assert result.returncode == 1, (result.returncode, result.stderr)
    assert "OSError" in result.stderr
    dump = subprocess.run(["h5dump", "-d", "/data", str(path)],
                          capture_output=True, text=True, check=False)
    assert dump.returncode > 0, (dump.returncode, dump.stderr)


def test_chunks_of_the_wrong_size_fail_with_an_error(tmp_path):
    """A genuine frame of 4096 bytes written past the filter into datasets
    whose chunks are larger (up to 64 MiB, where HDF5 used to copy the
    chunk out of the filter's short buffer and crash) or smaller: h5py and
    h5dump report an error, never a signal or wrong data."""
    path = tmp_path / "hostile.h5"
    with h5py.File(path, "w") as f:
        d = f.create_dataset("source", data=np.arange(4096, dtype=np.uint8), chunks=(4096,),
                             compression=FILTER, compression_opts=(4,))
        _, frame = d.id.read_direct_chunk((0,))
        for name, chunk in (("short", 8192), ("huge", 64 << 20), ("long", 2048)):
            t = f.create_dataset(name, shape=(chunk,), dtype=np.uint8, chunks=(chunk,),
                                 compression=FILTER, compression_opts=(4,))
            t.id.write_direct_chunk((0,), frame)
    for name, chunk in (("short", 8192), ("huge", 64 << 20), ("long", 2048)):
        code = ("import sys, h5py\n"
                "with h5py.File(sys.argv[1], 'r') as f:\n"
                f"    f[{name!r}][...]\n")
        result = subprocess.run([sys.executable, "-c", code, str(path)],
                                capture_output=True, text=True, check=False)
        assert result.returncode == 1, (name, result.returncode, result.stderr)
        assert "OSError" in result.stderr, result.stderr
        dump = subprocess.run(["h5dump", "--enable-error-stack", "-d", "/" + name, str(path)],
                              capture_output=True, text=True, check=False)
        assert dump.returncode > 0, (name, dump.returncode)
        assert f"the dataset's chunks are {chunk} bytes" in dump.stderr, dump.stderr


def test_unknown_codec_number_refuses_the_dataset(tmp_path):
    with h5py.File(tmp_path / "bad.h5", "w") as f:
        try:
            f.create_dataset("data", data=data(), chunks=(65536,),
                             compression=FILTER, compression_opts=(1000,))
        except (ValueError, OSError) as e:
            assert "vorlex" in str(e) or "filter" in str(e).lower(), str(e)
        else:
            raise AssertionError("a dataset with codec number 1000 was created")


def test_filters_take_the_typesize_from_the_type(tmp_path):
    path = tmp_path / "filters.h5"
    with h5py.File(path, "w") as f:
        for filt in (1, 2, 3, 4):
            d = f.create_dataset(f"f{filt}", data=data(), chunks=(65536,), compression=FILTER,
                                 compression_opts=(6, 0, 0, filt))
            _, values, _ = d.id.get_create_plist().get_filter_by_id(FILTER)
            assert tuple(values) == (6, 0, 0, filt, 4, 65536 * 4)  # int32: 4 bytes
            assert d.id.get_storage_size() < d.nbytes // 4
    result = read_in_fresh_process(path)
    assert result.returncode == 0, result.stderr
