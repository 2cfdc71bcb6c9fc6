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

# The benchmark: every comparison of the agent against plain reads and writes of the same files,
# over alternating rounds, and the peak memory of a small and a large database. BENCH_QUICK=1
# runs a small one (under a minute); BENCH_MIB=N sets the database size, BENCH_ROUNDS=R the
# rounds. Not part of make test.
bench: build
	@bash -c 'set -o pipefail; $(WIN_BUILD)/wine-run $(WIN_BUILD)/bin/ferrybench.exe \
	  $(if $(filter 1,$(BENCH_QUICK)),--quick) $(if $(BENCH_MIB),--size-mib $(BENCH_MIB)) \
	  $(if $(BENCH_ROUNDS),--rounds $(BENCH_ROUNDS)) | tr -d "\r"; status=$$?; \
	  $(WIN_BUILD)/wine-run --stop; exit $$status'

clean:
	@if [ -x $(WIN_BUILD)/wine-run ]; then $(WIN_BUILD)/wine-run --stop; fi
	rm -rf build
