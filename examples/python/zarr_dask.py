#!/usr/bin/python3
"""zarr_dask.py: a vorlex-compressed Zarr array computed on by dask workers.

    zarr_dask.py [--scheduler ADDRESS] [FOLDER]

Writes a 2000 x 2000 array of float64 into FOLDER/input.zarr, compressed
with lzjb; has the cluster read it chunk by chunk, compute on it and write
the result into FOLDER/output.zarr with quicklz; and prints the result's
sum and which workers did the work.

With no --scheduler, a LocalCluster of two worker processes on 127.0.0.1 is
started (and shut down at the end). With --scheduler tcp://HOST:8786 the same
code runs on a real cluster: start `dask-scheduler` on one machine and
`dask-worker tcp://HOST:8786` on each of the others, with vorlex installed on
every machine and FOLDER on storage they all share (NFS or the like, at the
same path everywhere). See docs/python.md.
"""
import argparse
import os
import tempfile

import dask.array as da
import numpy as np
import zarr
from distributed import Client, LocalCluster, get_task_stream

from vorlex.numcodecs import Vorlex


def run(client, folder):
    source = os.path.join(folder, "input.zarr")
    result = os.path.join(folder, "output.zarr")

    # Any process can write the input; here the client does.
    z = zarr.open(source, mode="w", shape=(2000, 2000), chunks=(250, 2000), dtype="f8",
                  compressor=Vorlex(codec="lzjb"))
    z[:] = np.add.outer(np.arange(2000.0), np.arange(2000.0))

    # The workers read the chunks, decode them (numcodecs finds the vorlex
    # codec through its entry point), compute, and write compressed chunks.
    x = da.from_zarr(source)
    y = (x - x.mean(axis=0)) ** 2
    with get_task_stream(client) as tasks:
        y.to_zarr(result, compressor=Vorlex(codec="quicklz"), overwrite=True)
        total = da.from_zarr(result).sum().compute()

    workers = sorted({t["worker"] for t in tasks.data})
    print(f"sum of the result: {total:.6g}")
    print(f"{len(tasks.data)} tasks ran on {len(workers)} workers: {', '.join(workers)}")
    print(f"result's compressor: {zarr.open(result, mode='r').compressor}")


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("folder", nargs="?", help="shared folder for the arrays (default: a "
                   "temporary one, local clusters only)")
    p.add_argument("--scheduler", help="address of a running dask-scheduler")
    args = p.parse_args()
    if args.scheduler and not args.folder:
        p.error("a cluster needs a FOLDER on storage every worker sees")

    with tempfile.TemporaryDirectory() as tmp:
        folder = args.folder or tmp
        if args.scheduler:
            with Client(args.scheduler) as client:
                run(client, folder)
            return
        with LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                          host="127.0.0.1", dashboard_address=None) as cluster, \
                Client(cluster) as client:
            run(client, folder)


if __name__ == "__main__":
    main()
