#!/bin/sh
# report.sh BENCH CORPUS_DIR OUT_DIR "FILE_ARGS" "SMALL_ARGS"
# Writes OUT_DIR/benchmarks.md, OUT_DIR/benchmarks.svg and the page
# OUT_DIR/benchmarks.html: every codec and peer on every file of CORPUS_DIR
# (the built-in input when it is empty or absent), then time per call on
# small inputs (in the Markdown only). The machine is described by lscpu,
# the build and commit by the bench's own header. The files are replaced
# only when every round trip verified.
set -eu
bench=$1; corpus=$2; out=$3; file_args=$4; small_args=$5

files=""
if [ -d "$corpus" ]; then
  for f in "$corpus"/*; do
    [ -f "$f" ] && files="$files $f"
  done
fi
if [ -z "$files" ]; then
  echo "bench: no corpus files in $corpus; measuring the built-in input instead" >&2
  what="the built-in input (this project's README and sources)"
else
  what="the Silesia corpus files in \`$(basename "$corpus")/\`"
fi

mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# shellcheck disable=SC2086 # the argument strings are lists on purpose
"$bench" --peers --format markdown --plot "$tmp/benchmarks.svg" --html "$tmp/benchmarks.html" \
  $file_args $files >"$tmp/files.md"
# shellcheck disable=SC2086
"$bench" --peers --small --format markdown $small_args $files >"$tmp/small.md"

# Numeric arrays through numcodecs (python/bench/arrays.py), when the Python
# package was built and numcodecs is installed.
build=$(dirname "$bench")
arrays=$(dirname "$0")/../python/bench/arrays.py
if [ -d "$build/lib/python3/dist-packages/vorlex" ] &&
   /usr/bin/python3 -c 'import numcodecs' 2>/dev/null; then
  # shellcheck disable=SC2086 # ARRAYS_ARGS is a list on purpose
  PYTHONPATH="$build/lib/python3/dist-packages" VORLEX_PLUGIN_PATH="$(cd "$build" && pwd)/lib/vorlex/plugins" \
    /usr/bin/python3 "$arrays" ${ARRAYS_ARGS:---mib 8 --rounds 3} >"$tmp/arrays.md"
else
  echo "bench: no Python package or numcodecs: the numeric arrays are left out" >&2
  : >"$tmp/arrays.md"
fi

{
  echo "# vorlex benchmarks"
  echo
  echo "Written by \`make bench\` on $(date -u '+%Y-%m-%d %H:%M UTC'), measuring $what."
  echo "Every codec and peer ran in one process, interleaved round by round, and every"
  echo "result was verified by a round trip. Speeds are MB/s of original data (10^6 bytes"
  echo "per second) in both directions. **comp/lz4, dec/lz4, comp/memcpy, dec/memcpy** are"
  echo "each codec's speed divided by lz4's (default level) and memcpy's in the same run:"
  echo "those ratios, not the absolute speeds, are what compares across machines."
  echo
  echo "## Machine"
  echo
  echo '```'
  # Flags and vulnerability lines are long and say nothing about speed here.
  lscpu | grep -v -e '^Flags:' -e '^Vulnerability' || echo "lscpu unavailable"
  echo '```'
  echo
  echo "## Whole files"
  echo
  echo "One buffer call per file; \`total\` sums sizes and median times over the files."
  echo
  cat "$tmp/files.md"
  echo
  echo "![compression ratio against compression and decompression speed](benchmarks.svg)"
  echo
  echo "The same run as a page, with a plot for each file, the Pareto front, each codec's"
  echo "values on hover, a ranking by compress + transfer + decompress time at a link speed"
  echo "you choose, a sortable table and the CSV: [benchmarks.html](benchmarks.html)"
  echo "(open the file; \`benchmarks.html?link=10MB/s\` sets the link speed)."
  echo
  echo "## Small inputs"
  echo
  echo "The first 256 bytes, 4 KiB and 64 KiB of each file, one buffer call each: where"
  echo "per-call costs (set-up, work memory, headers) show."
  echo
  cat "$tmp/small.md"
  echo
  if [ -s "$tmp/arrays.md" ]; then
    echo "## Numeric arrays"
    echo
    echo "numcodecs codecs over 1 MiB chunks of arrays of the usual kinds"
    echo "(\`python/bench/arrays.py\`): vorlex with its typed-array filters beside"
    echo "Blosc (lz4 with shuffle and bit-shuffle, zstd), Zstd and LZ4."
    echo
    cat "$tmp/arrays.md"
    echo
  fi
  echo "## Targets and what bounds them"
  echo
  echo "Each codec's targets (speed ÷ lz4, copy ÷ memcpy), the profile of what"
  echo "bounds it and what was tried are in [performance.md](performance.md)."
  echo
  echo "## Reproducing"
  echo
  echo '```'
  echo "make bench                          # this page and benchmarks.html"
  echo "build/vorlex-bench --peers --format html FILE... > b.html  # the page for any files"
  echo "build/vorlex-bench --peers FILE...  # any files, as a table"
  echo "PYTHONPATH=build/lib/python3/dist-packages python/bench/arrays.py  # numeric arrays"
  echo '```'
} >"$tmp/benchmarks.md"

mv "$tmp/benchmarks.md" "$out/benchmarks.md"
mv "$tmp/benchmarks.svg" "$out/benchmarks.svg"
mv "$tmp/benchmarks.html" "$out/benchmarks.html"
echo "bench: wrote $out/benchmarks.md, $out/benchmarks.svg and $out/benchmarks.html" >&2
