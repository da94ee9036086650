#!/bin/sh
# ci-fuzz.sh [--runs N [--max-seconds S] | --seconds N] [TARGET...]
#
# Builds the libFuzzer targets (preset "fuzz": clang, ASan+UBSan) and runs
# each one, or the TARGETs named, starting from its seeds in fuzz/corpus/ and
# the past crash inputs in fuzz/regressions/ (both read, never written):
#   --runs N     N executions per target in a fresh working corpus (CI smoke;
#                default 20000, or $FUZZ_RUNS), stopping after S seconds
#                (--max-seconds; default none) for the slow targets;
#   --seconds N  N seconds per target, the working corpus kept in
#                build-fuzz/fuzz-corpus/<target> across runs (`make fuzz`).
# A crash, leak, sanitizer report, timeout (10 s per input) or out-of-memory
# input is saved to build-fuzz/fuzz-crashes/<target>/ and fails the run after
# the remaining targets have run. One line per target is appended to
# build-fuzz/fuzz-stats.txt: target, mode, executions, seconds, coverage.
# FUZZ_JOBS=J (default 1) runs J targets at once, one per core.
set -eu
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD:-build-fuzz}
mode=runs
amount=${FUZZ_RUNS:-20000}
cap=""
case "${1:-}" in
--runs) mode=runs; amount=$2; shift 2 ;;
--seconds) mode=seconds; amount=$2; shift 2 ;;
esac
if [ "${1:-}" = --max-seconds ]; then cap="-max_total_time=$2"; shift 2; fi

# VORLEX_FUZZ_CHILD is set for the per-target runs of FUZZ_JOBS below.
if [ -z "${VORLEX_FUZZ_CHILD:-}" ]; then
  scripts/setup.sh clang libclang-rt-14-dev
  cmake --preset fuzz >/dev/null
  cmake --build "$build" -j "${JOBS:-2}"
fi

targets=${*:-$(cat "$build/fuzz/targets.txt")}
if [ "${FUZZ_JOBS:-1}" -gt 1 ] && [ -z "${VORLEX_FUZZ_CHILD:-}" ]; then
  again="--$mode $amount"
  [ -n "$cap" ] && again="$again --max-seconds ${cap#-max_total_time=}"
  # shellcheck disable=SC2086 # word splitting of $targets and $again is wanted
  if printf '%s\n' $targets |
      VORLEX_FUZZ_CHILD=1 xargs -P "$FUZZ_JOBS" -I{} sh scripts/ci-fuzz.sh $again {}; then
    exit 0
  fi
  echo "fuzz: some targets failed (inputs in $build/fuzz-crashes/, logs in $build/fuzz-logs/)" >&2
  exit 1
fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=""
for t in $targets; do
  bin="$build/fuzz/fuzz_$t"
  crashes="$build/fuzz-crashes/$t"
  log="$build/fuzz-logs/$t.log"
  mkdir -p "$crashes" "$build/fuzz-logs"
  if [ "$mode" = runs ]; then
    work=$(mktemp -d)
    limit="-runs=$amount $cap"
  else
    work="$build/fuzz-corpus/$t"
    mkdir -p "$work"
    limit="-max_total_time=$amount"
  fi
  dirs="$work"
  for d in "fuzz/corpus/$t" "fuzz/regressions/$t"; do
    [ -d "$d" ] && dirs="$dirs $d"
  done
  start=$(date +%s)
  # shellcheck disable=SC2086 # word splitting of $dirs is wanted
  if "$bin" $limit -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$crashes/" $dirs >"$log" 2>&1; then
    status=ok
  else
    status=FAILED
    failed="$failed $t"
  fi
  secs=$(( $(date +%s) - start ))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | sed -n 's/.*\(cov: [0-9]*\).*\(ft: [0-9]*\).*\(corp: [0-9]*\).*/\1 \2 \3/p')
  line="$t limit=$mode:$amount executed=${runs:-?} seconds=$secs ${cov:-} $status"
  echo "fuzz: $line"
  echo "$(date -u +%Y-%m-%dT%H:%MZ) $line" >>"$build/fuzz-stats.txt"
  if [ "$status" = FAILED ]; then
    tail -n 40 "$log" >&2
  fi
  [ "$mode" = runs ] && rm -rf "$work"
done
if [ -n "$failed" ]; then
  echo "fuzz: failed:$failed (inputs in $build/fuzz-crashes/, logs in $build/fuzz-logs/)" >&2
  exit 1
fi
