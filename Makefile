# Quick start: `make run` builds and runs the default synthesis on the demo exemplar; `make test` builds
# and runs every test. Both install what is missing first (as root) or say what to install.

BUILD_DIR ?= build
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build run test fuzz fuzz-build clean

all: build

deps:
	@sh scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Runs with no arguments inside demo/, where the default input ./demo2.bmp lives; writes demo/out_*.bmp.
run: build
	cd demo && ../$(BUILD_DIR)/texsynth

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# The libFuzzer targets in fuzz/, built with clang and sanitizers in their own folder.
fuzz-build:
	@sh scripts/install-deps.sh clang libclang-rt-14-dev
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
		-DTEXSYNTH_FUZZERS=ON -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target bmp_reader_fuzzer command_line_fuzzer

# Fuzzes the BMP reader and the command line for FUZZ_SECONDS each; fails on any finding.
fuzz: fuzz-build
	sh scripts/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD_DIR) $(FUZZ_DIR)
