#!/bin/sh
# ci-valgrind.sh: the whole test suite, fuzz replays included, once under
# valgrind memcheck in build-valgrind/: any invalid access, use of an
# uninitialised value or leak (definite, indirect or possible) fails the test
# it happens in. Every test executable runs through valgrind (CMake's
# emulator hook); the shell-script tests (ABI shape) run as they are, and the
# tests labelled "external" (programs from outside the build: h5py, the HDF5
# tools) are left out, since valgrind would watch only the shell. The
# corpus is left out (VORLEX_CORPUS_DIR unset), and two kinds of test are
# filtered out: death tests, whose child processes abort on purpose, and the
# tests that count blocks through a replacement global operator new
# (HostLookup, ToolAllocation), for which valgrind substitutes its own sized
# operator delete; they run under ASan instead. The fork test is left out too:
# a forked child keeps its parent's thread objects on purpose (they cannot be
# joined or destroyed there), which memcheck calls a leak. The Python package is not
# built: its tests run an interpreter, not a test executable the emulator
# wraps. Line tables (-g1) are all memcheck's reports need, and build in
# two thirds of the time of full debug information.
set -eu
cd "$(dirname "$0")/.."
build=${VALGRIND_BUILD:-build-valgrind}
scripts/setup.sh valgrind
vg="$(command -v valgrind);--error-exitcode=99;--leak-check=full"
vg="$vg;--show-leak-kinds=definite,indirect,possible"
vg="$vg;--errors-for-leak-kinds=definite,indirect,possible;--track-fds=no;--quiet"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLEX_BUILD_EXAMPLES=OFF \
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1" \
  -DVORLEX_BUILD_PYTHON=OFF "-DCMAKE_CROSSCOMPILING_EMULATOR=$vg" >/dev/null
cmake --build "$build" -j "${JOBS:-2}"
cd "$build"
unset VORLEX_CORPUS_DIR
ctest --output-on-failure -j "${JOBS:-2}" --timeout 1500 -LE external -E "${VALGRIND_EXCLUDE:-DeathTest|HostLookup|ToolAllocation|AfterFork}"
