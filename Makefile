# Two builds: build/ (Release) and build-san/ (AddressSanitizer + UndefinedBehaviorSanitizer).
JOBS ?= $(shell nproc 2>/dev/null || echo 4)

.PHONY: all build run test test-release test-sanitize bench clean

all: build

build:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j $(JOBS)

run: build
	./build/quarvel

test: test-release test-sanitize

test-release: build
	ctest --test-dir build --output-on-failure -j $(JOBS)

test-sanitize:
	cmake -S . -B build-san -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARVEL_SANITIZE=ON
	cmake --build build-san -j $(JOBS)
	ctest --test-dir build-san --output-on-failure -j $(JOBS)

bench: build
	sh bench/run.sh build

clean:
	rm -rf build build-san
