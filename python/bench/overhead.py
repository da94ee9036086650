#!/usr/bin/python3
"""overhead.py: vorlex.compress/decompress against the tool at one thread.

    PYTHONPATH=build/lib/python3/dist-packages python/bench/overhead.py \\
        --cli build/vorlex [--size 100] [--rounds 3] [--codec lzjb ...] [FILE]

Compresses the same SIZE MiB (FILE's first bytes, repeated if short; else a
text-like sample) with `vorlex -c -T1 -B 1M --codec X` and with
vorlex.compress(data, X), the best of ROUNDS each, and likewise decompresses.
The tool's time is its whole run (start, read from the page cache, write to
/dev/null); the module's is the call alone. "into" decompresses into a
reused buffer (what numcodecs' decode(buf, out) does): the difference to
decompress() is the cost of the fresh result's memory, whose every page the
kernel maps on first touch. A benchmark, not a test: it checks nothing but
that the outputs agree.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

import vorlex
from vorlex import _vorlex


def sample(n):
    import random

    rng = random.Random(7)
    words = [bytes(rng.choice(b"etaoinshrdlu ") for _ in range(rng.randint(2, 10)))
             for _ in range(4000)]
    out = bytearray()
    while len(out) < n:
        out += b" ".join(rng.choices(words, k=64)) + b"\n"
    return bytes(out[:n])


def best(rounds, fn):
    times = []
    for _ in range(rounds):
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return min(times)


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("file", nargs="?")
    p.add_argument("--cli", default="vorlex")
    p.add_argument("--size", type=int, default=100, help="MiB (default 100)")
    p.add_argument("--rounds", type=int, default=3)
    p.add_argument("--codec", action="append")
    args = p.parse_args()

    n = args.size << 20
    if args.file:
        with open(args.file, "rb") as f:
            head = f.read(n)
        data = (head * (n // max(len(head), 1) + 1))[:n]
    else:
        data = sample(n)
    mib = n / (1 << 20)
    print(f"{mib:.0f} MiB, best of {args.rounds}; MiB/s, and the module's time against "
          f"the tool's (-T1)")
    print(f"{'codec':8} {'tool c':>8} {'module c':>9} {'diff':>7}   "
          f"{'tool d':>8} {'module d':>9} {'diff':>7} {'into':>7} {'diff':>7}")
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "in")
        with open(src, "wb") as f:
            f.write(data)
        for codec in args.codec or vorlex.codecs():
            packed_path = os.path.join(tmp, "in.vlx")
            tool = [args.cli, "-q", "-f", "-T1", "-B", "1M", "--codec", codec]

            def tool_compress():
                subprocess.run([*tool, "-o", packed_path, src], check=True)

            t_tool_c = best(args.rounds, tool_compress)
            packed = vorlex.compress(data, codec)
            with open(packed_path, "rb") as f:
                assert f.read() == packed, f"{codec}: outputs differ"
            t_mod_c = best(args.rounds, lambda: vorlex.compress(data, codec))

            def tool_decompress():
                with open(os.devnull, "wb") as null:
                    subprocess.run([args.cli, "-q", "-d", "-c", "-T1", packed_path],
                                   stdout=null, check=True)

            t_tool_d = best(args.rounds, tool_decompress)
            t_mod_d = best(args.rounds, lambda: vorlex.decompress(packed))
            out = bytearray(n)
            t_into = best(args.rounds, lambda: _vorlex._decompress_into(packed, out))
            print(f"{codec:8} {mib / t_tool_c:8.0f} {mib / t_mod_c:9.0f} "
                  f"{(t_mod_c / t_tool_c - 1) * 100:+6.1f}%   {mib / t_tool_d:8.0f} "
                  f"{mib / t_mod_d:9.0f} {(t_mod_d / t_tool_d - 1) * 100:+6.1f}% "
                  f"{mib / t_into:7.0f} {(t_into / t_tool_d - 1) * 100:+6.1f}%")
            sys.stdout.flush()


if __name__ == "__main__":
    main()
