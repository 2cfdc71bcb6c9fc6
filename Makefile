# Top-level commands. Both work on a fresh Debian machine as root: they install what is missing,
# configure and build the Windows cross trees (build/win x64, build/win32 x86) and the native
# core tree (build/native).

WIN_BUILD    := build/win
WIN32_BUILD  := build/win32
NATIVE_BUILD := build/native
TEST_JOBS    ?= 4

.PHONY: all deps configure build test test-native test-win test-x86 demo bench clean

all: build

deps:
	@bash tools/install-deps.sh

configure: deps
	cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
	cmake -S . -B $(WIN32_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
	  -DFERRY_X64_TREE=$(abspath $(WIN_BUILD))
	CC=clang CXX=clang++ cmake -S . -B $(NATIVE_BUILD) -G Ninja \
	  -DFERRY_WIN_TREE=$(abspath $(WIN_BUILD)) -DFERRY_WIN32_TREE=$(abspath $(WIN32_BUILD))

# The x86 tree after the x64 one, the native tree last: its checks of the two builds' binaries
# read both.
build: configure
	cmake --build $(WIN_BUILD)
	cmake --build $(WIN32_BUILD)
	cmake --build $(NATIVE_BUILD)

test-native: build
	ctest --test-dir $(NATIVE_BUILD) -j $(TEST_JOBS) --output-on-failure

test-win: build
	ctest --test-dir $(WIN_BUILD) -j $(TEST_JOBS) --output-on-failure

# Native first (with the checks of the x86 build that need no 32-bit Wine: PE32 images, exports,
# calling conventions), so that the run ends with the summary of the Windows tests.
test: build
	ctest --test-dir $(NATIVE_BUILD) -j $(TEST_JOBS) --output-on-failure
	ctest --test-dir $(WIN_BUILD) -j $(TEST_JOBS) --output-on-failure

# The x86 family's tests, which run 32-bit programs under WoW64: they need 32-bit Wine
# (wine32:i386, which tools/install-deps.sh installs when the i386 package index lets it).
test-x86: build
	@FERRY_RETRY_WINE32=1 bash tools/install-deps.sh
	@if [ ! -x /usr/lib/wine/wine ]; then \
	  echo "test-x86: 32-bit Wine (wine32:i386) is not installed, so no 32-bit program can run here;" \
	       "tools/install-deps.sh said why above." >&2; exit 1; fi
	ctest --test-dir $(WIN32_BUILD) -j $(TEST_JOBS) --output-on-failure

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
	@if [ -x $(WIN32_BUILD)/wine-run ]; then $(WIN32_BUILD)/wine-run --stop; fi
	rm -rf build
