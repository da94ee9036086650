"""Random access and one file across dask workers: the figures behind
docs/performance.md's "Random access" section.

    python3 python/bench/random_access.py [--tool build/bin/vorlex] [--dir /tmp/x]
        [--reads 2000] [--dask-size "1 GiB"] [--skip-dask | --only-dask]

1. A 256 MiB file of 1 MiB blocks: block decodes per random 4 KiB read
   (seek + read through vorlex.open, counted by the library), and the time
   of a read.
2. Index overhead: the same data with and without the index, at 1 MiB
   blocks, for text that compresses about 3x and for incompressible data.
3. A file of --dask-size read with vorlex.dask.read_bytes on a LocalCluster
   of one worker process and of two (one thread each), every partition
   decoded and counted on the workers: the wall time of each.
"""
import argparse
import os
import random
import statistics
import subprocess
import sys
import time

import numpy as np

import vorlex


def make_text(path, size, seed):
    """size bytes of lines of words: compresses about 2-3x with quicklz."""
    rng = np.random.default_rng(seed)
    words = np.array([w.encode() for w in (
        "the of and to in is that for it as was with be by on not he this are or his "
        "from at which but have an they you were her she there been one all we their "
        "block index frame vorlex worker offset read seek content record checksum").split()])
    with open(path, "wb") as f:
        done = 0
        while done < size:
            picks = words[rng.integers(0, len(words), 200_000)]
            chunk = b" ".join(picks)
            chunk = chunk.replace(b" the ", b"\n")
            chunk = chunk[:size - done]
            f.write(chunk)
            done += len(chunk)


def compress(tool, src, dst, *extra):
    subprocess.run([tool, "-q", "-f", "-T2", "-B", "1M", *extra, src, "-o", dst], check=True)


def random_reads(path, size, reads, seed=7):
    rng = random.Random(seed)
    decodes, times = [], []
    with vorlex.open(path) as f:
        f.seek(0)  # the map: one tail read
        info = f._random._frames.info()
        opened_reads = info["reads"]
        for _ in range(reads):
            offset = rng.randrange(size - 4096)
            before = f._random._frames.info()["blocks_decoded"]
            t = time.perf_counter()
            f.seek(offset)
            data = f.read(4096)
            times.append(time.perf_counter() - t)
            assert len(data) == 4096
            decodes.append(f._random._frames.info()["blocks_decoded"] - before)
    return opened_reads, decodes, times


def dask_time(path, workers):
    from distributed import Client, LocalCluster
    import dask
    import vorlex.dask

    cluster = LocalCluster(n_workers=workers, processes=True, threads_per_worker=1,
                           host="127.0.0.1", dashboard_address=None)
    try:
        with Client(cluster) as client:
            client.wait_for_workers(workers, timeout=60)
            best = None
            for _ in range(3):
                t = time.perf_counter()
                _, parts = vorlex.dask.read_bytes(path, blocksize="32 MiB", sample=False)
                total = sum(dask.compute(*[dask.delayed(len)(p) for p in parts[0]]))
                elapsed = time.perf_counter() - t
                best = elapsed if best is None else min(best, elapsed)
            return best, total, len(parts[0])
    finally:
        cluster.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", default=os.environ.get("VORLEX_CLI", "vorlex"))
    ap.add_argument("--dir", default="/tmp/vorlex-random-access")
    ap.add_argument("--reads", type=int, default=2000)
    ap.add_argument("--dask-size", default="1 GiB")
    ap.add_argument("--skip-dask", action="store_true")
    ap.add_argument("--only-dask", action="store_true")
    a = ap.parse_args()
    os.makedirs(a.dir, exist_ok=True)
    if not a.only_dask:
        part_one(a)
    if not a.skip_dask:
        part_two(a)


def part_one(a):
    src = os.path.join(a.dir, "text256")
    size = 256 << 20
    make_text(src, size, 1)
    compress(a.tool, src, src + ".vlx")
    compress(a.tool, src, src + ".noindex.vlx", "--no-index")

    opened, decodes, times = random_reads(src + ".vlx", size, a.reads)
    print(f"256 MiB, 1 MiB blocks: open read the file {opened} times; {a.reads} random 4 KiB reads: "
          f"block decodes max {max(decodes)}, mean {statistics.mean(decodes):.3f}; "
          f"time per read median {statistics.median(times) * 1e3:.2f} ms")
    opened, decodes, _ = random_reads(src + ".noindex.vlx", size, 200)
    print(f"  same file without index: the walk read the file {opened} times; "
          f"block decodes per read max {max(decodes)}")

    rnd = os.path.join(a.dir, "random64")
    with open(rnd, "wb") as f:
        f.write(np.random.default_rng(2).bytes(64 << 20))
    for name, path in (("text, 256 MiB", src), ("incompressible, 64 MiB", rnd)):
        compress(a.tool, path, path + ".i.vlx")
        compress(a.tool, path, path + ".n.vlx", "--no-index")
        with_index = os.path.getsize(path + ".i.vlx")
        without = os.path.getsize(path + ".n.vlx")
        print(f"index overhead, {name}: {with_index - without} bytes on {without} "
              f"= {100 * (with_index - without) / without:.5f} %")



def part_two(a):
    from dask.utils import parse_bytes

    big = os.path.join(a.dir, "big")
    make_text(big, parse_bytes(a.dask_size), 3)
    compress(a.tool, big, big + ".vlx")
    os.remove(big)
    one, total1, parts = dask_time(big + ".vlx", 1)
    two, total2, _ = dask_time(big + ".vlx", 2)
    assert total1 == total2
    print(f"dask read_bytes of {total1} content bytes ({parts} partitions of 32 MiB): "
          f"1 worker {one:.2f} s, 2 workers {two:.2f} s, ratio {two / one:.2f}")
    print(f"load average during the run: {os.getloadavg()}")


if __name__ == "__main__":
    sys.exit(main())
