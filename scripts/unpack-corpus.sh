#!/bin/sh
# unpack-corpus.sh ZIP_DIR OUT_DIR: unzip the corpus archives once. Absent
# archives are not an error: corpus tests then skip, saying so.
set -eu
zips=$1; out=$2
[ -d "$zips" ] || { echo "corpus: $zips not found; corpus tests will skip" >&2; exit 0; }
mkdir -p "$out"
for z in "$zips"/*.zip; do
  [ -e "$z" ] || continue
  name=$(basename "$z" .zip)
  [ -s "$out/$name" ] || unzip -o -q "$z" -d "$out"
done
