# Two builds: build/ (Release) and build-san/ (Debug: ASSERT checks live, -O1,
# AddressSanitizer + UndefinedBehaviorSanitizer).
JOBS ?= $(shell nproc 2>/dev/null || echo 4)

.PHONY: all build run test test-release test-sanitize test-gui bench clean

all: build

build:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j $(JOBS)

run: build
	./build/quarvel

test: test-release test-sanitize

test-release: build
	ctest --test-dir build --output-on-failure -j $(JOBS)
	sh bench/signature.sh build

test-sanitize:
	cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DQUARVEL_SANITIZE=ON
	cmake --build build-san -j $(JOBS)
	ctest --test-dir build-san --output-on-failure -j $(JOBS)

# Two games in the real xboard GUI under Xvfb against fairymax (installs
# nothing; skipped when xboard, Xvfb or fairymax is missing). Not part of test.
test-gui: build
	sh tests/gui/xboard_match.sh build/quarvel build/gui

bench: build
	sh bench/run.sh build

clean:
	rm -rf build build-san
