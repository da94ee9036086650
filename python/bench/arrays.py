#!/usr/bin/python3
"""arrays.py: numeric arrays through numcodecs codecs, vorlex beside Blosc, Zstd, LZ4.

    PYTHONPATH=build/lib/python3/dist-packages VORLEX_PLUGIN_PATH=build/plugins \\
        python/bench/arrays.py [--mib 8] [--rounds 3] [--markdown FILE]

Makes one array of each kind (seeded, MIB MiB each): 16-bit MR-like volume
and elevation grid, float32 fields with noise, float64 random walks, int64
timestamps, int32 counts. Cuts it into 1 MiB chunks and runs each codec
over every chunk on one thread: encode(chunk), then decode(encoded, out)
into a reused buffer, as Zarr does. Reports the ratio (all chunks' bytes over
all encoded bytes) and the encode and decode speeds (MB/s, 10^6 bytes, the
best of ROUNDS, over the process's CPU time: on a shared machine wall time
measures the neighbours), then checks issue 26's goals: Vorlex(codec="lz4",
filter="auto") at least Blosc lz4's better filter's ratio at 0.7x Blosc lz4
shuffle's speed both ways, and Vorlex(codec="zstd", level=1, filter="auto")
at least Blosc zstd-3 shuffle's ratio. A benchmark, not a test: it checks
nothing but that every chunk decodes to itself.
"""
import argparse
import platform
import sys
import time

import numcodecs
import numpy as np
from numcodecs import LZ4, Blosc, Zstd

from vorlex.numcodecs import Vorlex

CHUNK = 1 << 20


def arrays(mib):
    rng = np.random.default_rng(26)
    n_bytes = mib << 20

    def count(itemsize):
        return n_bytes // itemsize

    # A 16-bit MR-like volume: an ellipsoid phantom of a few tissues, smooth
    # bias, and noise, in slices of 256 x 256.
    side = 256
    depth = count(2) // (side * side)
    z, y, x = np.mgrid[0:depth, 0:side, 0:side].astype(np.float32)
    r = ((x - 128) / 110) ** 2 + ((y - 128) / 90) ** 2 + ((z - depth / 2) / (depth / 1.8)) ** 2
    tissue = np.where(r < 1, 800, 0) + np.where(r < 0.6, 400, 0) + np.where(r < 0.2, -300, 0)
    bias = 1 + 0.2 * np.sin(x / 60) * np.cos(y / 70)
    mr = (tissue * bias + np.abs(rng.normal(0, 18, tissue.shape))).astype(np.uint16)
    # An elevation grid in metres: a 2-D random walk, smoothed.
    rows = count(2) // 2048
    steps = rng.normal(0, 1.5, (rows, 2048))
    elevation = (np.cumsum(np.cumsum(steps, axis=0), axis=1) / 40 + 1200).astype(np.int16)
    # float32 fields: smooth waves with measurement noise.
    m = count(4)
    t = np.arange(m, dtype=np.float64)
    field = (20 * np.sin(t / 5000) * np.cos(t / 377) + rng.normal(0, 0.05, m)).astype(np.float32)
    walks = np.cumsum(rng.normal(0, 1, count(8))).astype(np.float64)
    stamps = (1_700_000_000_000_000_000
              + np.cumsum(rng.integers(900_000, 1_100_000, count(8)))).astype(np.int64)
    lam = 20 + 15 * np.sin(np.arange(count(4)) / 10_000)
    counts = rng.poisson(lam).astype(np.int32)
    return [("uint16 MR volume", mr), ("int16 elevation", elevation),
            ("float32 field", field), ("float64 random walk", walks),
            ("int64 timestamps", stamps), ("int32 counts", counts)]


def codecs():
    numcodecs.blosc.use_threads = False
    numcodecs.blosc.set_nthreads(1)
    return [
        ("Blosc lz4 shuffle", Blosc(cname="lz4", clevel=5, shuffle=Blosc.SHUFFLE)),
        ("Blosc lz4 bitshuffle", Blosc(cname="lz4", clevel=5, shuffle=Blosc.BITSHUFFLE)),
        ("Blosc zstd-3 shuffle", Blosc(cname="zstd", clevel=3, shuffle=Blosc.SHUFFLE)),
        ("Zstd level 1", Zstd(level=1)),
        ("LZ4", LZ4()),
        ("Vorlex lz4", Vorlex(codec="lz4")),
        ("Vorlex lz4 shuffle", Vorlex(codec="lz4", filter="shuffle")),
        ("Vorlex lz4 auto", Vorlex(codec="lz4", filter="auto")),
        ("Vorlex zstd-1 auto", Vorlex(codec="zstd", level=1, filter="auto")),
    ]


def measure(codec, chunks, rounds):
    encoded = [codec.encode(c) for c in chunks]
    outs = [np.empty_like(c) for c in chunks]
    for e, c, o in zip(encoded, chunks, outs):
        codec.decode(e, out=o)
        if not np.array_equal(o, c):
            sys.exit(f"{codec!r}: a chunk did not decode to itself")
    total = sum(c.nbytes for c in chunks)
    best_e = best_d = float("inf")
    for _ in range(rounds):
        t = time.process_time()
        for c in chunks:
            codec.encode(c)
        best_e = min(best_e, time.process_time() - t)
        t = time.process_time()
        for e, o in zip(encoded, outs):
            codec.decode(e, out=o)
        best_d = min(best_d, time.process_time() - t)
    return total / sum(len(e) for e in encoded), total / best_e / 1e6, total / best_d / 1e6


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--mib", type=int, default=8, help="MiB per array (default 8)")
    p.add_argument("--rounds", type=int, default=3)
    p.add_argument("--markdown", help="also write the table to this file")
    a = p.parse_args()

    lines = [f"Arrays of {a.mib} MiB in 1 MiB chunks, one thread, best of {a.rounds} (CPU time); "
             f"{platform.processor() or platform.machine()}, numcodecs "
             f"{numcodecs.__version__}, Python {platform.python_version()}.", "",
             "| array | codec | ratio | encode MB/s | decode MB/s |",
             "|---|---|---:|---:|---:|"]
    goals = []
    for name, array in arrays(a.mib):
        flat = array.reshape(-1)
        per = CHUNK // array.itemsize
        chunks = [flat[i:i + per] for i in range(0, flat.size, per)]
        results = {}
        for label, codec in codecs():
            ratio, enc, dec = measure(codec, chunks, a.rounds)
            results[label] = (ratio, enc, dec)
            lines.append(f"| {name} | {label} | {ratio:.3f} | {enc:.0f} | {dec:.0f} |")
            print(lines[-1], file=sys.stderr, flush=True)
        vl, bs, bb = results["Vorlex lz4 auto"], results["Blosc lz4 shuffle"], results[
            "Blosc lz4 bitshuffle"]
        vz, bz = results["Vorlex zstd-1 auto"], results["Blosc zstd-3 shuffle"]
        goals.append(
            f"{name}: lz4 auto ratio {vl[0]:.3f} vs Blosc lz4 best {max(bs[0], bb[0]):.3f} "
            f"({'ok' if vl[0] >= max(bs[0], bb[0]) else 'MISSED'}); speed vs Blosc lz4 shuffle "
            f"encode {vl[1] / bs[1]:.2f}x decode {vl[2] / bs[2]:.2f}x "
            f"({'ok' if min(vl[1] / bs[1], vl[2] / bs[2]) >= 0.7 else 'MISSED'}); "
            f"zstd-1 auto {vz[0]:.3f} vs Blosc zstd-3 shuffle {bz[0]:.3f} "
            f"({'ok' if vz[0] >= bz[0] else 'MISSED'})")
    text = "\n".join(lines) + "\n\nGoals:\n\n" + "\n".join(f"- {g}" for g in goals) + "\n"
    print(text)
    if a.markdown:
        with open(a.markdown, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
