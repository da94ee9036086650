#!/bin/sh
# pip_install.sh CMAKE BUILD PYTHON SOURCE: what docs/python.md tells a user
# to do. Install BUILD into a fresh prefix; make a virtual environment with
# PYTHON -m venv --system-site-packages; there, python -m pip install
# --no-build-isolation on a copy of SOURCE/python (pip builds in the tree it
# is given), against that prefix's libvorlex through pkg-config. Then the
# venv's interpreter, from an empty folder and with nothing else in the
# environment, imports the venv's vorlex, round-trips data through the
# prefix's plug-ins, and numcodecs finds the codec through its entry point.
set -eu
cmake=$1 build=$2 python=$3 source=$4
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vorlex-pip.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$tmp/prefix" >/dev/null
cp -r "$source/python" "$tmp/python"
rm -rf "$tmp/python/tests" "$tmp/python/bench"
"$python" -m venv --system-site-packages "$tmp/venv"
# -O0 and no cache: the module builds in a fraction of the optimised time,
# and nothing is left in the user's home.
env -i PATH=/usr/bin:/bin HOME="$tmp" PIP_NO_CACHE_DIR=1 PIP_DISABLE_PIP_VERSION_CHECK=1 \
  PKG_CONFIG_PATH="$tmp/prefix/lib/pkgconfig" CFLAGS=-O0 \
  "$tmp/venv/bin/python" -m pip install -q --no-index --no-build-isolation "$tmp/python" \
  >"$tmp/pip.log" 2>&1 || { cat "$tmp/pip.log" >&2; fail "pip install"; }

mkdir "$tmp/empty"
cd "$tmp/empty"
env -i PATH=/usr/bin:/bin HOME="$tmp" PYTHONDONTWRITEBYTECODE=1 "$tmp/venv/bin/python" - "$tmp/venv" <<'PY' || fail "the installed package"
import os, sys
import vorlex
venv = os.path.realpath(sys.argv[1])
assert os.path.realpath(vorlex.__file__).startswith(venv), vorlex.__file__
data = b"a newcomer's copy-and-paste works " * 1000
for codec in ("quicklz", "lzjb", "zstd", "gzip"):
    assert vorlex.decompress(vorlex.compress(data, codec)) == data, codec
assert vorlex.Codec("zstd", level=19).decompress(vorlex.Codec("zstd", level=19).compress(data)) == data
import numcodecs
codec = numcodecs.get_codec({"id": "vorlex", "codec": "lzjb"})
assert bytes(codec.decode(codec.encode(data))) == data
print("ok", vorlex.__version__, sorted(vorlex.codecs()))
PY
