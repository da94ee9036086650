#!/usr/bin/python3
"""numcodecs_peers.py: vorlex's numcodecs codec against numcodecs' own.

    PYTHONPATH=build/lib/python3/dist-packages python/bench/numcodecs_peers.py \\
        [--chunks 32] [--rounds 7] [FILE]

Encodes and decodes the same 1 MiB chunks (FILE's first bytes, repeated if
short; else a text-like sample) with Vorlex(codec="lz4") against
numcodecs.LZ4() and Vorlex(codec="zstd", level=1) against
numcodecs.Zstd(level=1), interleaved round by round, and prints each
pair's MB/s and the ratio (vorlex over numcodecs; the median of ROUNDS).
Results are dropped as they come, as a chunk copied into its array is.
A benchmark, not a test: it checks nothing but that the round trips agree.
"""
import argparse
import statistics
import time

import numcodecs
from vorlex.numcodecs import Vorlex

CHUNK = 1 << 20


def sample(n):
    import random

    rng = random.Random(7)
    words = [bytes(rng.choice(b"etaoinshrdlu ") for _ in range(rng.randint(2, 10)))
             for _ in range(4000)]
    out = bytearray()
    while len(out) < n:
        out += b" ".join(rng.choices(words, k=64)) + b"\n"
    return bytes(out[:n])


def timed(fn, items):
    # Each result is dropped at once, as a chunk is once copied into its
    # array: holding them all would time the allocator's page faults.
    t = time.perf_counter()
    for x in items:
        fn(x)
    return time.perf_counter() - t


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("file", nargs="?")
    p.add_argument("--chunks", type=int, default=32)
    p.add_argument("--rounds", type=int, default=7)
    args = p.parse_args()

    n = args.chunks * CHUNK
    if args.file:
        with open(args.file, "rb") as f:
            data = f.read(n)
        data = (data * (n // max(len(data), 1) + 1))[:n]
    else:
        data = sample(n)
    chunks = [data[i:i + CHUNK] for i in range(0, n, CHUNK)]

    pairs = [
        ("lz4", Vorlex(codec="lz4"), numcodecs.LZ4()),
        ("zstd-1", Vorlex(codec="zstd", level=1), numcodecs.Zstd(level=1)),
    ]
    print(f"{args.chunks} chunks of 1 MiB, median of {args.rounds} rounds (MB/s)")
    print(f"{'codec':8} {'vorlex enc':>11} {'numcodecs':>10} {'ratio':>6} "
          f"{'vorlex dec':>11} {'numcodecs':>10} {'ratio':>6}")
    for name, ours, theirs in pairs:
        oz = [ours.encode(c) for c in chunks]
        tz = [theirs.encode(c) for c in chunks]
        assert all(bytes(ours.decode(z)) == c for z, c in zip(oz, chunks)), name
        assert all(bytes(theirs.decode(z)) == c for z, c in zip(tz, chunks)), name
        times = {k: [] for k in ("oe", "te", "od", "td")}
        for _ in range(args.rounds):
            times["oe"].append(timed(ours.encode, chunks))
            times["te"].append(timed(theirs.encode, chunks))
            times["od"].append(timed(ours.decode, oz))
            times["td"].append(timed(theirs.decode, tz))
        mb = {k: n / statistics.median(v) / 1e6 for k, v in times.items()}
        print(f"{name:8} {mb['oe']:11.1f} {mb['te']:10.1f} {mb['oe'] / mb['te']:6.3f} "
              f"{mb['od']:11.1f} {mb['td']:10.1f} {mb['od'] / mb['td']:6.3f}")


if __name__ == "__main__":
    main()
