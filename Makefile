# Quick start: `make run` builds and runs the default synthesis on the demo exemplar; `make test` builds
# and runs every test. Both install what is missing first (as root) or say what to install.
# `make bench` times whole runs in a Release build of its own and rewrites BENCHMARKS.md (several minutes);
# `make bench BENCH_ARGS=--quick` is a short selection that only prints its table.

BUILD_DIR ?= build
BENCH_DIR ?= build-bench
BENCH_ARGS ?= --markdown BENCHMARKS.md
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build run test bench clean

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

bench: deps
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTEXSYNTH_BENCHMARKS=ON
	cmake --build $(BENCH_DIR) -j $(JOBS) --target texsynth_bench
	$(BENCH_DIR)/bench/texsynth_bench $(BENCH_ARGS)

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR)
