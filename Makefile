# A newcomer's entry points. `make test` and `make run` set up what is missing,
# configure, build, and then test or run; CI calls .ci/run, which calls these.
BUILD        ?= build
ASAN_BUILD   ?= build-asan
CORPUS_ZIPS  ?= $(abspath ../shared/corpus/silesia)
CORPUS_DIR   ?= $(abspath $(BUILD)/corpus)
JOBS         ?= $(shell nproc)
CTEST_ARGS   ?=
FUZZ_SECONDS ?= 60
FUZZ_RUNS    ?= 20000
FUZZ_SMOKE_SECONDS ?= 15
FUZZ_JOBS    ?= $(JOBS)
# make run: the benchmark of every codec on the built-in input.
RUN_ARGS     ?= --rounds 3 --min-time 0.1
# make bench: rounds and least seconds per round for whole files and for the
# small-input timings.
BENCH_ARGS       ?= --rounds 5 --min-time 0.3
BENCH_SMALL_ARGS ?= --rounds 5 --min-time 0.05

# The corpus folder tests read: the caller's VORLEX_CORPUS_DIR, else ours.
corpus_env = VORLEX_CORPUS_DIR="$${VORLEX_CORPUS_DIR:-$$( [ -d $(CORPUS_DIR) ] && echo $(CORPUS_DIR))}"

.PHONY: all setup build test run bench bench-docs asan corpus install clean fuzz fuzz-smoke tsan valgrind

all: build

setup:
	@scripts/setup.sh

build: setup
	@cmake --preset release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

corpus:
	@scripts/unpack-corpus.sh $(CORPUS_ZIPS) $(CORPUS_DIR)

test: build corpus
	cd $(BUILD) && $(corpus_env) ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# Only the tool and the plug-ins, quietly: the build log is shown on failure.
run: setup
	@cmake --preset release >/dev/null
	@echo "run: building vorlex and its plug-ins (log: $(BUILD)/run-build.log)" >&2
	@cmake --build $(BUILD) -j $(JOBS) --target vorlex_run >$(BUILD)/run-build.log 2>&1 || \
	  { cat $(BUILD)/run-build.log >&2; exit 1; }
	@$(BUILD)/vorlex bench $(RUN_ARGS)

# Every codec beside its peers on the corpus: benchmarks.md, .svg and the
# page benchmarks.html in $(BUILD)/bench, or in docs/ (the tracked figures)
# with UPDATE_DOCS=1 or `make bench-docs`.
BENCH_OUT = $(if $(UPDATE_DOCS),docs,$(BUILD)/bench)
bench: build corpus
	bench/report.sh $(BUILD)/vorlex-bench $(CORPUS_DIR) $(BENCH_OUT) "$(BENCH_ARGS)" "$(BENCH_SMALL_ARGS)"

bench-docs:
	@$(MAKE) --no-print-directory bench UPDATE_DOCS=1

# Tests labelled "external" run programs from outside the build (h5py, the
# HDF5 tools), which cannot load sanitizer-built libraries: left out here.
asan: setup corpus
	@cmake --preset asan-ubsan >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(corpus_env) ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS) -LE external $(CTEST_ARGS)

# Reliability stages (docs/reliability.md): every fuzz target FUZZ_SECONDS
# seconds each, or FUZZ_RUNS runs each (CI; at most FUZZ_SMOKE_SECONDS seconds
# per target, which caps the slow fari and brieflz targets); the 8-thread test under
# ThreadSanitizer; the test suite under valgrind memcheck. FUZZ_JOBS targets
# run at once (default: one per core).
fuzz:
	FUZZ_JOBS=$(FUZZ_JOBS) scripts/ci-fuzz.sh --seconds $(FUZZ_SECONDS)

fuzz-smoke:
	FUZZ_JOBS=$(FUZZ_JOBS) scripts/ci-fuzz.sh --runs $(FUZZ_RUNS) --max-seconds $(FUZZ_SMOKE_SECONDS)

tsan:
	scripts/ci-tsan.sh

valgrind:
	scripts/ci-valgrind.sh

install: build
	cmake --install $(BUILD) --prefix $(or $(PREFIX),/usr/local)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-debug build-fuzz build-tsan build-valgrind
