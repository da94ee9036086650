#!/bin/sh
# cli_out_of_memory.sh VORLEX: the tool under ever larger address-space
# limits (ulimit -v), so that its allocations fail at every stage from
# start-up to the last block: compressing, decompressing and testing, on one
# and on two threads. At each limit the tool either succeeds with the right
# result, or exits 1 with a "vorlex: FILE: ..." message and leaves no output
# or temporary file behind; it never dies of a signal or leaves a partial file.
# The tool has no allocation hook of its own, so this is the black-box form
# of the allocation-failure tests the library gets in alloc_test.cpp.
set -u
tool=$1
work=$(mktemp -d)
marks=$(mktemp -d)
trap 'rm -rf "$work" "$marks"' EXIT
cd "$work" || exit 1
seq 1 300000 >data
"$tool" -q -B 1M -o good.vlx data || { echo "setup: compression failed"; exit 1; }
failures=0
refused=0
check() {  # check LIMIT_KB DESCRIPTION EXPECTED_FILE ARGS...
  limit=$1; what=$2; want=$3; shift 3
  rm -f out out.err
  (ulimit -v "$limit"; "$tool" "$@" 2>out.err)
  rc=$?
  leftovers=$(ls -A | grep -v -x -e data -e good.vlx -e out -e out.err)
  if [ "$rc" -eq 0 ]; then
    if [ -n "$want" ] && ! cmp -s out "$want"; then
      echo "FAIL $what at ${limit} KiB: success with wrong output"; failures=$((failures + 1))
    fi
  elif [ "$rc" -eq 2 ] && grep -q -E "cannot load .*(failed to map segment|annot allocate memory)" out.err; then
    # The dynamic loader could not map the codec's plug-in under this limit:
    # like a tool too big to start (below), not the tool's doing. Where the
    # first limit that starts the tool falls short of its plug-in depends on
    # the tool's size.
    :
  elif [ "$rc" -eq 1 ]; then
    refused=$((refused + 1))
    if ! grep -q '^vorlex: ' out.err; then
      echo "FAIL $what at ${limit} KiB: exit 1 without a message"; failures=$((failures + 1))
    fi
    if [ -e out ]; then
      echo "FAIL $what at ${limit} KiB: output left after failure"; failures=$((failures + 1))
    fi
  else
    echo "FAIL $what at ${limit} KiB: exit $rc: $(cat out.err)"; failures=$((failures + 1))
  fi
  if [ -n "$leftovers" ]; then
    echo "FAIL $what at ${limit} KiB: left $leftovers"; failures=$((failures + 1))
    rm -f $leftovers
  fi
  [ "$rc" -eq 0 ] && echo ok >>"$marks/$what"
  rm -f out
  true
}
# Below some limit the program cannot even be loaded; that is not the
# tool's doing, so the sweep starts where it runs at all.
limit=4000
while ! (ulimit -v "$limit"; "$tool" --version >/dev/null 2>&1); do
  limit=$((limit + 1000))
  [ "$limit" -le 40000 ] || { echo "FAIL the tool does not start under 40 MB"; exit 1; }
done
while [ "$limit" -le 40000 ]; do
  for t in 1 2; do
    check "$limit" "compress-T$t" "" -q -T"$t" -B 1M -o out data
    check "$limit" "decompress-T$t" data -q -d -T"$t" -o out good.vlx
    check "$limit" "test-T$t" "" -q -t -T"$t" good.vlx
  done
  limit=$((limit + 2000))
done
# The sweep must have started low enough for failures, and reached far
# enough for every mode to succeed.
[ "$refused" -gt 0 ] || { echo "FAIL no limit made the tool run out of memory"; failures=$((failures + 1)); }
for mode in compress decompress test; do
  for t in 1 2; do
    [ -s "$marks/$mode-T$t" ] || { echo "FAIL $mode-T$t never succeeded"; failures=$((failures + 1)); }
  done
done
[ "$failures" -eq 0 ] && echo "cli out-of-memory: $refused runs out of memory, all clean"
[ "$failures" -eq 0 ]
