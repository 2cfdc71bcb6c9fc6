# Top-level commands. Both work on a fresh Debian machine as root: they install what is missing,
# configure and build the Windows cross tree (build/win) and the native core tree (build/native).

WIN_BUILD    := build/win
NATIVE_BUILD := build/native
TEST_JOBS    ?= 4

.PHONY: all deps configure build test test-native test-win demo bench clean

all: build

deps:
	@bash tools/install-deps.sh

configure: deps
	cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
	CC=clang CXX=clang++ cmake -S . -B $(NATIVE_BUILD) -G Ninja

build: configure
	cmake --build $(WIN_BUILD)
	cmake --build $(NATIVE_BUILD)

test-native: build
	ctest --test-dir $(NATIVE_BUILD) -j $(TEST_JOBS) --output-on-failure

test-win: build
	ctest --test-dir $(WIN_BUILD) -j $(TEST_JOBS) --output-on-failure

# Native first, so that the run ends with the summary of the Windows tests.
test: build
	ctest --test-dir $(NATIVE_BUILD) -j $(TEST_JOBS) --output-on-failure
	ctest --test-dir $(WIN_BUILD) -j $(TEST_JOBS) --output-on-failure

demo: build
	@bash tools/demo.sh $(WIN_BUILD)

# The backup throughput benchmark: a 1 GiB database through the agent against plain reads.
# BENCH_MIB=N sets the database size. Not part of make test.
BENCH_MIB ?= 1024
bench: build
	@bash -c 'set -o pipefail; $(WIN_BUILD)/wine-run $(WIN_BUILD)/bin/ferrybench.exe \
	  --size-mib $(BENCH_MIB) | tr -d "\r"; status=$$?; $(WIN_BUILD)/wine-run --stop; exit $$status'

clean:
	@if [ -x $(WIN_BUILD)/wine-run ]; then $(WIN_BUILD)/wine-run --stop; fi
	rm -rf build
