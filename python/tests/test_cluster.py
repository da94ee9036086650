"""A two-process dask.distributed cluster computes on a vorlex-compressed
Zarr array and writes its result with a vorlex compressor."""
import dask.array as da
import numpy as np
import pytest
import zarr
from distributed import Client, LocalCluster, get_task_stream

from vorlex.numcodecs import Vorlex


@pytest.fixture(scope="module")
def client():
    cluster = LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                           host="127.0.0.1", dashboard_address=None)
    try:
        with Client(cluster) as c:
            c.wait_for_workers(2, timeout=60)
            yield c
    finally:
        cluster.close()


def test_two_workers_compute_on_a_vorlex_array(tmp_path, client):
    source = np.arange(1_000_000, dtype="f8").reshape(1000, 1000)
    zarr.open(str(tmp_path / "in.zarr"), mode="w", shape=source.shape, chunks=(100, 1000),
              dtype="f8", compressor=Vorlex(codec="lzjb"))[:] = source

    x = da.from_zarr(str(tmp_path / "in.zarr"))
    result = (x * 2 + 1).astype("i4")
    with get_task_stream(client) as tasks:
        result.to_zarr(str(tmp_path / "out.zarr"), compressor=Vorlex(codec="quicklz"))
        total = int(da.from_zarr(str(tmp_path / "out.zarr")).sum(dtype="i8").compute())

    assert total == int((source * 2 + 1).sum())
    out = zarr.open(str(tmp_path / "out.zarr"), mode="r")
    assert out.compressor == Vorlex(codec="quicklz")
    assert (out[:] == (source * 2 + 1).astype("i4")).all()
    workers = {t["worker"] for t in tasks.data}
    assert len(workers) == 2, workers


def test_one_file_splits_across_both_workers(tmp_path, client):
    """read_text's partitions are block ranges of one file: every line once,
    in order, also the lines that cross block boundaries."""
    import vorlex
    import vorlex.dask

    lines = [f"{i} " + "x" * (i * 7919 % 300) + "\n" for i in range(6000)]
    path = tmp_path / "log.vlx"
    with vorlex.open(path, "wt", codec="lzjb", block_size=4096) as f:
        f.writelines(lines)

    bag = vorlex.dask.read_text(str(path), blocksize=64 * 1024)
    assert bag.npartitions > 8
    with get_task_stream(client) as tasks:
        got = bag.compute()
    assert got == lines
    assert len({t["worker"] for t in tasks.data}) == 2

    _, parts = vorlex.dask.read_bytes(str(path), blocksize=100_000, sample=False)
    assert b"".join(client.compute(parts[0], sync=True)) == "".join(lines).encode()


def test_check_workers_names_the_workers_that_cannot(client):
    from vorlex.numcodecs import check_workers
    answers = check_workers(client, ["lzjb", "zstd"])
    assert len(answers) == 2 and all(a.startswith("ok ") for a in answers.values()), answers
    with pytest.raises(RuntimeError, match="2 of 2 dask workers cannot use vorlex"):
        check_workers(client, ["no-such-codec"])


def test_the_probe_runs_where_vorlex_does_not_import(tmp_path):
    # What a worker without vorlex receives: the question travels by value.
    import os
    import subprocess
    import sys
    import cloudpickle
    from vorlex import _probe
    cloudpickle.register_pickle_by_value(_probe)
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    r = subprocess.run([sys.executable, "-c",
                        "import sys, pickle; print(pickle.loads(sys.stdin.buffer.read())([]))"],
                       input=cloudpickle.dumps(_probe.probe), capture_output=True, cwd=tmp_path,
                       env=env, check=True)
    assert r.stdout.startswith(b"cannot import vorlex: ModuleNotFoundError"), r
