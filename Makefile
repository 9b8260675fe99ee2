# Two builds: build/ (Release) and build-san/ (Debug: ASSERT checks live, -O1,
# AddressSanitizer + UndefinedBehaviorSanitizer).
# Each runs its tests in parallel, then the clock-judged games (label `games`)
# alone, so that no clock is judged on a machine the suite itself loads.
JOBS ?= $(shell nproc 2>/dev/null || echo 4)
CTEST_PARALLEL = ctest --output-on-failure -LE games -j $(JOBS) --test-dir
CTEST_GAMES = ctest --output-on-failure -L games -j 1 --test-dir

.PHONY: all build run test test-release test-sanitize test-gui bench clean

all: build

build:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j $(JOBS)

run: build
	./build/quarvel

test: test-release test-sanitize

test-release: build
	$(CTEST_PARALLEL) build
	$(CTEST_GAMES) build
	sh bench/signature.sh build

test-sanitize:
	cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DQUARVEL_SANITIZE=ON
	cmake --build build-san -j $(JOBS)
	$(CTEST_PARALLEL) build-san
	$(CTEST_GAMES) build-san

# Two games in the real xboard GUI under Xvfb against fairymax (installs
# nothing; skipped when xboard, Xvfb or fairymax is missing). Not part of test.
test-gui: build
	sh tests/gui/xboard_match.sh build/quarvel build/gui

bench: build
	sh bench/run.sh build

clean:
	rm -rf build build-san
