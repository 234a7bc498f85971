# Thin wrapper around CMake.  `make run` builds and writes the example's
# report; `make test` builds every tree and runs every test; `make
# test-windows` runs the 32-bit and the 64-bit Windows builds under Wine and
# compares them with the Linux build.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

FUZZ_SECONDS ?= 60

.PHONY: all deps deps-windows build build-sanitize build-windows build-windows64 run test test-windows bench fuzz screenshots clean

all: build

deps:
	@scripts/install-deps.sh

deps-windows:
	@scripts/install-deps.sh --windows-runtime

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

build-sanitize: deps
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build build-sanitize -j $(JOBS)

build-windows: deps
	cmake -S . -B build-windows -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(CMAKE_FLAGS)
	cmake --build build-windows -j $(JOBS)

build-windows64: deps
	cmake -S . -B build-windows64 -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake $(CMAKE_FLAGS)
	cmake --build build-windows64 -j $(JOBS)

run: build
	cp examples/blending.vdr build/blending.vdr
	build/bin/tarnreport build/blending
	@echo "report: $(CURDIR)/build/blending.log"

test: build build-sanitize build-windows
	ctest --test-dir build --output-on-failure -j $(JOBS)
	ctest --test-dir build-sanitize --output-on-failure -j $(JOBS)

# The libFuzzer targets in a clang tree of their own, each run for
# FUZZ_SECONDS; a finding fails the target and leaves its input in
# build-fuzz/fuzz-artifacts/.
fuzz:
	@scripts/install-deps.sh --fuzz
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_FUZZ=ON -DBUILD_TESTING=OFF \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS)
	fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

bench: build
	build/bin/report_bench --runs 5
	build/bin/loader_bench --runs 5
	build/bin/reader_bench --runs 5

# The terminal view's screenshot in docs/ (tmux and Chromium).
screenshots: build
	@scripts/install-deps.sh --screenshots
	scripts/terminal-screenshot.sh build

clean:
	rm -rf build build-sanitize build-windows build-windows64 build-fuzz

# The Windows builds under Wine, 32-bit (the reference) and 64-bit, each in a
# Wine prefix of its own: their own tests, and every run compared byte for
# byte with the Linux build's reports (build/ is built first).
test-windows: deps-windows
	$(MAKE) build
	$(MAKE) build-windows CMAKE_FLAGS="$(CMAKE_FLAGS) -DTARN_LINUX_BUILD_DIR=$(CURDIR)/build"
	$(MAKE) build-windows64 CMAKE_FLAGS="$(CMAKE_FLAGS) -DTARN_LINUX_BUILD_DIR=$(CURDIR)/build"
	ctest --test-dir build-windows --output-on-failure -j $(JOBS)
	ctest --test-dir build-windows64 --output-on-failure -j $(JOBS)
