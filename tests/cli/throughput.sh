#!/bin/sh
# Benchmark (not a test): the tool's compression speed on a ~100 MB file made
# of the corpus files, with -T1 and -T2, beside --raw (the whole file in one
# buffer call), and the in-memory cost of the container.
#
#   tests/cli/throughput.sh [BUILD_DIR [CODEC [ROUNDS]]]
#
# Reads the corpus from VORLEX_CORPUS_DIR (default BUILD_DIR/corpus, which
# `make test` unpacks). Each figure is the best of ROUNDS runs, output to
# /dev/null, input in the page cache.
set -eu
build=${1:-build}
codec=${2:-quicklz}
rounds=${3:-5}
corpus=${VORLEX_CORPUS_DIR:-$build/corpus}
big=$(mktemp /tmp/vorlex-throughput.XXXXXX)
trap 'rm -f "$big"' EXIT

# Whole corpus files, repeated in order, until at least 100 MB.
while [ "$(stat -c %s "$big")" -lt 100000000 ]; do
  for f in dickens mr nci ooffice osdb reymont xml; do
    [ "$(stat -c %s "$big")" -lt 100000000 ] && cat "$corpus/$f" >> "$big"
  done
done
size=$(stat -c %s "$big")
echo "input: $size bytes from $corpus; codec $codec; best of $rounds"

best() {  # best wall time of "$@" over $rounds runs
  b=""
  i=0
  while [ $i -lt "$rounds" ]; do
    t0=$(date +%s.%N)
    "$@" > /dev/null
    t1=$(date +%s.%N)
    b=$(echo "$t0 $t1 ${b:-1e9}" | awk '{d = $2 - $1; print (d < $3 ? d : $3)}')
    i=$((i + 1))
  done
  echo "$b"
}

t1=$(best "$build/vorlex" -q -T1 --codec "$codec" -c "$big")
t2=$(best "$build/vorlex" -q -T2 --codec "$codec" -c "$big")
raw=$(best "$build/vorlex" -q --raw --codec "$codec" -c "$big")
echo "$size $t1 $t2 $raw" | awk '{
  printf "  vorlex -T1     %.3f s %8.1f MB/s\n", $2, $1 / 1e6 / $2
  printf "  vorlex -T2     %.3f s %8.1f MB/s  (%.2fx -T1)\n", $3, $1 / 1e6 / $3, $2 / $3
  printf "  vorlex --raw   %.3f s %8.1f MB/s  (-T1 takes %+.1f%%)\n", $4, $1 / 1e6 / $4, 100 * ($2 / $4 - 1)
}'
"$build/tests/cli/vorlex_container_bench" "$big" "$codec" "$rounds"
