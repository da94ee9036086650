#!/bin/sh
# ci-tsan.sh: the 8-thread test (tests/threads) built with ThreadSanitizer in
# build-tsan/, host and plug-ins included; any race report fails it.
set -eu
cd "$(dirname "$0")/.."
build=${TSAN_BUILD:-build-tsan}
scripts/setup.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLEX_SANITIZE=thread \
  -DVORLEX_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target test_threads
cd "$build"
TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}" \
  ctest --output-on-failure -L threads
