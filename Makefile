# Quick start: `make run` builds and runs the default synthesis on the demo exemplar; `make test` builds
# and runs every test. Both install what is missing first (as root) or say what to install.

BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build run test clean

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

clean:
	rm -rf $(BUILD_DIR)
