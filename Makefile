# Builds: build/ (Release, portable; tests and CI), build-san/ (Debug: ASSERT
# checks live, -O1, AddressSanitizer + UndefinedBehaviorSanitizer) and
# build-pgo/ (the program users run: tuned for this processor and optimised
# with a profile of the search benchmark).
# `make test` builds build/ and build-san/ side by side and runs both suites
# side by side (they judge no clock; the Release half ends with the bench
# signature, a node count), then the Release games that judge the clocks
# (label `games`) alone, so that no clock is judged on a machine the suite
# itself loads. `test-release` and `test-sanitize` do the same for one build.
# JOBS is each half's parallelism, so `make test` runs up to twice JOBS
# processes; on a shared machine give a smaller one (`make test JOBS=3`).
JOBS ?= $(shell nproc 2>/dev/null || echo 4)
CTEST_PARALLEL = ctest --output-on-failure -LE '^games$$' -j $(JOBS) --test-dir
CTEST_GAMES = ctest --output-on-failure -L '^games$$' -j 1 --test-dir
# Ninja starts each object as soon as its own inputs are there (make waits
# for whole libraries first); chosen only for a build directory not yet
# configured, since a directory keeps the generator it was made with.
generator = $(if $(wildcard $(1)/CMakeCache.txt),,$(if $(shell command -v ninja 2>/dev/null),-G Ninja))
PREFIX ?= /usr/local

FUZZ_SECONDS ?= 60
FUZZ_TARGETS = fen move commands config pgn book table tbindex

.PHONY: all build build-sanitize build-clang check-format profile-build FORCE run install test \
    test-release test-sanitize suite-release suite-sanitize test-gui bench clean fuzz fuzz-build \
    fuzz-campaign test-valgrind

all: build

build:
	cmake -S . -B build $(call generator,build) -DCMAKE_BUILD_TYPE=Release -DQUARVEL_TESTS=ON
	cmake --build build -j $(JOBS)

# One directory for both steps: the compiler finds each object's profile by
# the object's path. Flags change between the steps, so everything rebuilds.
PGO_DIR := $(CURDIR)/build-pgo
# The processor to tune for; -mpopcnt alone keeps the build runnable on any
# x86-64 with a popcount instruction (and under valgrind).
PGO_ARCH ?= -march=native
# No tests here, so making and running the program needs no GoogleTest.
PGO_FLAGS := -DCMAKE_BUILD_TYPE=Release -DQUARVEL_TESTS=OFF -DQUARVEL_ARCH="$(PGO_ARCH)" -DQUARVEL_LTO=ON -DQUARVEL_PROFILE_DIR=$(PGO_DIR)/profile
PGO_TARGETS := --target quarvel bench perft startup

# Retrained only when a source, the build description or the flags changed
# since the last profiled build, so a second `make run` starts at once.
PGO_SOURCES := CMakeLists.txt Makefile $(shell find board search frontend book \
    tablebases bench tools -name '*.cpp' -o -name '*.h' 2>/dev/null)
PGO_STAMP := $(PGO_DIR)/.profiled

profile-build: $(PGO_STAMP)

# Rewritten only when the flags differ, so its date says when they changed.
$(PGO_DIR)/flags: FORCE
	@mkdir -p $(PGO_DIR)
	@echo '$(PGO_FLAGS)' | cmp -s - $@ || echo '$(PGO_FLAGS)' >$@

$(PGO_STAMP): $(PGO_SOURCES) $(PGO_DIR)/flags
	rm -f $@
	rm -rf $(PGO_DIR)/profile
	cmake -S . -B $(PGO_DIR) $(PGO_FLAGS) -DQUARVEL_PROFILE=generate
	cmake --build $(PGO_DIR) -j $(JOBS) --target bench
	$(PGO_DIR)/bench >/dev/null
	if ls $(PGO_DIR)/profile/*.profraw >/dev/null 2>&1; then \
	    llvm-profdata merge -output=$(PGO_DIR)/profile/merged.profdata $(PGO_DIR)/profile/*.profraw; fi
	cmake -S . -B $(PGO_DIR) $(PGO_FLAGS) -DQUARVEL_PROFILE=use
	cmake --build $(PGO_DIR) -j $(JOBS) $(PGO_TARGETS)
	$(PGO_DIR)/bench | grep '^Bench:'
	touch $@

FORCE:

run: profile-build
	$(PGO_DIR)/quarvel

# The program users run, into $(PREFIX)/bin.
install: profile-build
	cmake --install $(PGO_DIR) --prefix $(PREFIX)

test: check-format
	$(MAKE) --no-print-directory -j 2 build build-sanitize
	$(MAKE) --no-print-directory -j 2 --output-sync=target suite-release suite-sanitize
	$(CTEST_GAMES) build

test-release: build
	$(CTEST_PARALLEL) build
	$(CTEST_GAMES) build
	sh bench/signature.sh build

test-sanitize: build-sanitize
	$(CTEST_PARALLEL) build-san

# Every C++ file in the house style of .clang-format (apply it with
# clang-format -i FILE); the first step of `make test`.
CXX_SOURCES = $(shell find board search frontend book tablebases bench tools tests fuzz \
    -name '*.cpp' -o -name '*.h')
check-format:
	@echo "clang-format --dry-run -Werror (every C++ file)"
	@clang-format --dry-run -Werror $(CXX_SOURCES)

# Every target built with clang as well, warnings as errors (CI).
build-clang:
	CXX=clang++ cmake -S . -B build-clang $(call generator,build-clang) -DCMAKE_BUILD_TYPE=Release -DQUARVEL_WERROR=ON
	cmake --build build-clang -j $(JOBS)

# Only what the sanitized suite runs: the benchmarks are built (and so
# checked) by the Release half.
build-sanitize:
	cmake -S . -B build-san $(call generator,build-san) -DCMAKE_BUILD_TYPE=Debug -DQUARVEL_SANITIZE=ON
	cmake --build build-san -j $(JOBS) --target suite_programs

# The signature is a node count, not a time: it may share the machine.
suite-release:
	$(CTEST_PARALLEL) build
	sh bench/signature.sh build

suite-sanitize:
	$(CTEST_PARALLEL) build-san

# Two games in the real xboard GUI under Xvfb against fairymax (installs
# nothing; skipped when xboard, Xvfb or fairymax is missing), then two games
# through pychess's engine code (installs Debian's pychess when missing).
# Not part of test.
test-gui: build
	sh tests/gui/xboard_match.sh build/quarvel build/gui
	sh tests/gui/pychess_match.sh build/quarvel build/gui

bench: build
	sh bench/run.sh build

# libFuzzer targets (clang, ASan + UBSan) in build-fuzz/. `make fuzz` runs
# them side by side on the machine's cores (FUZZ_JOBS at a time), each
# FUZZ_SECONDS from the repository's seeds, which it leaves as they are.
# `make fuzz-campaign` is the long run: each target an hour or ten million
# inputs, whichever comes first, from its corpus folder in FUZZ_CORPUS (made
# from the seeds the first time), into which it merges what it found
# (minimised). Both print inputs, speed, coverage and findings per target.
# An input that takes over FUZZ_TIMEOUT seconds is a hang, unless it is
# quicker when run again alone (a loaded machine); the campaign, under nice
# beside other work, allows more.
FUZZ_JOBS ?= $(shell nproc 2>/dev/null || echo 4)
FUZZ_RUNS ?= -1
FUZZ_TIMEOUT ?= 1
FUZZ_CORPUS ?= $(CURDIR)/build-fuzz/corpus
fuzz-campaign: FUZZ_SECONDS = 3600
fuzz-campaign: FUZZ_RUNS = 10000000
fuzz-campaign: FUZZ_TIMEOUT = 5
FUZZ_ENV = FUZZ_JOBS=$(FUZZ_JOBS) FUZZ_RUNS=$(FUZZ_RUNS) FUZZ_TIMEOUT=$(FUZZ_TIMEOUT)

fuzz-build:
	CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARVEL_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS) --target $(addsuffix _fuzz,$(FUZZ_TARGETS))

fuzz: fuzz-build
	$(FUZZ_ENV) sh fuzz/run.sh build-fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

fuzz-campaign: fuzz-build
	$(FUZZ_ENV) FUZZ_CORPUS=$(FUZZ_CORPUS) sh fuzz/run.sh build-fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The Release engine under valgrind memcheck: perft, a UCI dialogue with
# pondering, an xboard game.
test-valgrind: build
	sh tests/valgrind/run.sh build

clean:
	rm -rf build build-san build-pgo build-fuzz build-clang
