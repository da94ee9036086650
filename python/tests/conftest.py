"""Shared fixtures: the codecs, sample data and the vorlex tool."""
import os
import shutil
import subprocess

import pytest

CODECS = ["quicklz", "brieflz", "fari", "lzjb", "copy"]
# The codecs of standard formats, beside the five above.
STANDARD_CODECS = ["lz4", "zstd", "gzip", "snappy"]
ALL_CODECS = CODECS + STANDARD_CODECS


def sample(n, seed=1):
    """n bytes that compress somewhat: text-like runs mixed with noise."""
    import random

    rng = random.Random(seed)
    words = [bytes(rng.choice(b"abcdefghij ") for _ in range(rng.randint(2, 9)))
             for _ in range(200)]
    out = bytearray()
    while len(out) < n:
        out += rng.choice(words) if rng.random() < 0.9 else rng.randbytes(5)
    return bytes(out[:n])


@pytest.fixture(scope="session")
def cli():
    """Run the vorlex tool: cli(args, stdin) -> stdout bytes."""
    path = os.environ.get("VORLEX_CLI") or shutil.which("vorlex")
    if not path:
        pytest.skip("the vorlex tool is not built (VORLEX_CLI)")

    def run(args, data=b""):
        r = subprocess.run([path, *args], input=data, capture_output=True)
        assert r.returncode == 0, r.stderr.decode()
        return r.stdout

    run.path = path
    return run
