#!/bin/sh
# installed_check.sh CMAKE BUILD PYTHON PYDIR CHECK: install BUILD into a fresh
# prefix, then run CHECK with that prefix's Python package and nothing else
# in the environment (no VORLEX_PLUGIN_PATH, no LD_LIBRARY_PATH).
set -eu
cmake=$1 build=$2 python=$3 pydir=$4 check=$5
prefix=$(mktemp -d "${TMPDIR:-/tmp}/vorlex-python-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
env -i PATH=/usr/bin:/bin PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$prefix/$pydir" \
  "$python" "$check" "$prefix"
