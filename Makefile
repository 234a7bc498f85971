# Thin wrapper around CMake.  `make run` builds what a run needs and writes
# the example's report; `make install` installs under PREFIX; `make package`
# writes the Debian package; `make test` builds every tree and runs every
# test; `make test-windows` runs the 32-bit and the 64-bit Windows builds
# under Wine and compares them with the Linux build.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
DESTDIR ?=

FUZZ_SECONDS ?= 60

.PHONY: all deps deps-windows build build-sanitize build-windows build-windows64 run install package test test-browser test-windows bench fuzz screenshots clean slp

all: build

deps:
	@scripts/install-deps.sh

deps-windows:
	@scripts/install-deps.sh --windows-runtime

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DTARN_VIEWER=ON $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

build-sanitize: deps
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE=ON -DTARN_VIEWER=ON $(CMAKE_FLAGS)
	cmake --build build-sanitize -j $(JOBS)

build-windows: deps
	cmake -S . -B build-windows -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(CMAKE_FLAGS)
	cmake --build build-windows -j $(JOBS)

build-windows64: deps
	cmake -S . -B build-windows64 -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake $(CMAKE_FLAGS)
	cmake --build build-windows64 -j $(JOBS)

# Only what a run needs: no test programs, so none of their packages; the
# host and the viewer, and the example's report with the commands that show it.
run:
	@scripts/install-deps.sh --run
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTARN_VIEWER=ON $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS) --target tarnreport tarnview
	cp examples/blending.vdr build/blending.vdr
	build/bin/tarnreport build/blending
	@echo
	@echo "The example's report is build/blending.log. Read it:"
	@echo "  build/bin/tarnview show build/blending.log --depth 3     # in the terminal"
	@echo "  build/bin/tarnview html build/blending.log               # as a page: build/blending.html"
	@echo "  build/bin/tarnview serve build/blending.log              # served to the browser"

install:
	@scripts/install-deps.sh --install
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTARN_VIEWER=ON \
	  -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)
	DESTDIR=$(DESTDIR) cmake --install build

# The Debian package, from a tree of its own configured for /usr.
package:
	@scripts/install-deps.sh --package
	cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTARN_VIEWER=ON \
	  -DCMAKE_INSTALL_PREFIX=/usr -DTARN_DEBIAN_PACKAGE=ON $(CMAKE_FLAGS)
	cmake --build build-package -j $(JOBS)
	cd build-package && cpack -G DEB

# (The package is built first, so that its test in build/ finds it.)
test: build build-sanitize build-windows package
	ctest --test-dir build --output-on-failure -j $(JOBS)
	ctest --test-dir build-sanitize --output-on-failure -j $(JOBS)

# The tarnview page in Chromium (Debian's, driven by puppeteer-core from the
# npm lockfile): ESLint on the page and the tests, the page's unit tests,
# then the browser tests.
# Screenshots land in build/browser-artifacts/.
# DOCS_SCREENSHOTS=DIR puts the page's pictures for the README there too.
DOCS_SCREENSHOTS ?=
test-browser: build
	@scripts/install-deps.sh --browser
	PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund
	npm run --silent lint
	node --test tests/page/
	TARNVIEW_DOCS_DIR=$(DOCS_SCREENSHOTS) node --test tests/browser/*.test.js

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
	build/bin/serve_bench --runs 3
	build/bin/runs_bench --runs 3
	build/bin/view_bench build/bin/tarnview --runs 3
	build/bin/writer_bench --runs 3

# The screenshots in docs/: the terminal view (tmux and Chromium), and the
# pages of tarnview html and tarnview serve (taken by the browser tests).
screenshots: build
	@scripts/install-deps.sh --screenshots
	scripts/terminal-screenshot.sh build
	$(MAKE) test-browser DOCS_SCREENSHOTS=$(CURDIR)/docs

# The SLP solver's example runs (COIN-OR CLP) into build/slp, their reports
# then served by tarnview.
slp: build
	scripts/run-slp-examples.sh build

clean:
	rm -rf build build-sanitize build-windows build-windows64 build-fuzz build-package

# The Windows builds under Wine, 32-bit (the reference) and 64-bit, each in a
# Wine prefix of its own: their own tests, and every run compared byte for
# byte with the Linux build's reports (build/ is built first).
test-windows: deps-windows
	$(MAKE) build
	$(MAKE) build-windows CMAKE_FLAGS="$(CMAKE_FLAGS) -DTARN_LINUX_BUILD_DIR=$(CURDIR)/build"
	$(MAKE) build-windows64 CMAKE_FLAGS="$(CMAKE_FLAGS) -DTARN_LINUX_BUILD_DIR=$(CURDIR)/build"
	ctest --test-dir build-windows --output-on-failure -j $(JOBS)
	ctest --test-dir build-windows64 --output-on-failure -j $(JOBS)
