"""Run by installed_check.sh with only PYTHONPATH pointing into an installed
prefix: the package, libvorlex and the plug-ins must all come from there,
and numcodecs must find the codec through the installed entry point."""
import os
import subprocess
import sys

prefix = os.path.realpath(sys.argv[1])

import vorlex  # noqa: E402

assert os.path.realpath(vorlex.__file__).startswith(prefix + os.sep), vorlex.__file__
codecs = vorlex.codecs()
assert set(codecs) >= {"brieflz", "copy", "fari", "lzjb", "quicklz"}, codecs
data = bytes(range(256)) * 4096
for name in codecs:
    assert vorlex.decompress(vorlex.compress(data, name, block_size=65536)) == data, name

with open("/proc/self/maps") as f:
    loaded = {line.split()[-1] for line in f if ".so" in line}
ours = {p for p in loaded if "libvorlex" in os.path.basename(p)}
assert ours and all(os.path.realpath(p).startswith(prefix + os.sep) for p in ours), ours

fresh = subprocess.run(
    [sys.executable, "-c",
     "import sys, numcodecs\n"
     "c = numcodecs.get_codec({'id': 'vorlex', 'codec': 'lzjb'})\n"
     "assert c.decode(c.encode(b'x' * 1000)) == b'x' * 1000\n"
     "print(type(c).__module__)"],
    capture_output=True, text=True)
assert fresh.returncode == 0 and fresh.stdout.strip() == "vorlex.numcodecs", fresh
print(f"installed package OK: {len(codecs)} codecs, {len(ours)} libraries from {prefix}")
