#!/bin/sh
# snippets.sh CMAKE BUILD SOURCE: install BUILD into a fresh prefix and run
# every snippet of SOURCE's README.md and docs/*.md against it.
set -eu
cmake=$1 build=$2 source=$3
prefix=$(mktemp -d "${TMPDIR:-/tmp}/vorlex-docs.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
/usr/bin/python3 "$(dirname "$0")/snippets.py" "$prefix" "$source"
