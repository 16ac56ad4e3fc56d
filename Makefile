# Quick start: `make run` builds, makes a texture of the demo photo and runs the default synthesis on the demo
# exemplar; `make test` builds and runs every test (the Python module's too); `make python` builds the Python
# module alone. Each installs what is missing first (as root) or says what to install.
# `make install` installs the program, its manual page and completion, the library and the Python module under
# PREFIX (default /usr/local; DESTDIR is honoured); `xargs rm < build/install_manifest.txt` uninstalls them.
# `make deb` makes the Debian package build/texsynth_<version>_<architecture>.deb.
# `make bench` measures texsynth beside its peers (textures, filled holes, tiled photos), the positional form's
# stages, files and every way of matching, in a Release build of its own, and rewrites BENCHMARKS.md and its
# pictures (about half an hour); `make bench-quick` prints a short selection of the stage table;
# `make bench-batches` measures batches on a local Dask cluster alone.

BUILD_DIR ?= build
ASAN_DIR ?= build-asan
FUZZ_DIR ?= build-fuzz
BENCH_DIR ?= build-bench
FUZZ_SECONDS ?= 60
# The Python the package is built for: Debian's.
PYTHON ?= /usr/bin/python3
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX ?= /usr/local
# What making the Debian package needs besides what a build needs (dpkg-shlibdeps reads the dependencies).
DEB_PACKAGES = dpkg-dev file
# What the tests need besides what a build needs: the Debian package's, and what checks the manual page, the
# completion and the installed library.
TEST_PACKAGES = strace valgrind clang libclang-rt-14-dev $(DEB_PACKAGES) groff-base bash-completion pkgconf

.PHONY: all deps test-deps build python run install deb test test-sanitizers fuzz fuzz-build bench-build bench bench-quick bench-peers bench-batches clean

all: build

deps:
	@sh scripts/install-deps.sh

test-deps:
	@sh scripts/install-deps.sh $(TEST_PACKAGES)

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DTEXSYNTH_BENCHMARKS=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The Python module alone, into $(BUILD_DIR)/python: PYTHONPATH=$(BUILD_DIR)/python /usr/bin/python3 -c 'import texsynth'
python: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DTEXSYNTH_BENCHMARKS=ON
	cmake --build $(BUILD_DIR) -j $(JOBS) --target texsynth_python

# A finished texture of the photo demo/stone.png, demo/stone-texture.png; then the positional form with no
# arguments inside demo/, where its default input ./demo2.bmp lives, which writes demo/out_*.bmp.
run: build
	cd demo && ../$(BUILD_DIR)/texsynth -o stone-texture.png stone.png
	cd demo && ../$(BUILD_DIR)/texsynth

install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

deb: build
	@sh scripts/install-deps.sh $(DEB_PACKAGES)
	cd $(BUILD_DIR) && cpack -G DEB

# Every test in the release build (with one small run under valgrind), then again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then each fuzzer over its seeds.
test: test-deps build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory test-sanitizers
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=0

# The full default run is left out here: it is slow under the sanitizers and adds no path the others miss.
test-sanitizers: test-deps
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
		-DTEXSYNTH_SANITIZE=address,undefined
	cmake --build $(ASAN_DIR) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1 \
	UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS) -E 'DefaultRunWritesThreeLevels'

# The libFuzzer targets in fuzz/, built with clang and sanitizers in their own folder.
fuzz-build: test-deps
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
		-DTEXSYNTH_FUZZERS=ON -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target bmp_reader_fuzzer png_reader_fuzzer jpeg_reader_fuzzer \
		image_reader_fuzzer command_line_fuzzer

# Fuzzes the BMP, PNG and JPEG readers, read_image's telling them apart and the command line for FUZZ_SECONDS
# each; fails on any finding.
fuzz: fuzz-build
	sh scripts/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

bench-build: deps
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTEXSYNTH_BENCHMARKS=ON
	cmake --build $(BENCH_DIR) -j $(JOBS) --target texsynth texsynth_bench texsynth_io_bench texsynth-quality \
		texsynth_python

# The positional form's default runs with their stage times (bench/texsynth_bench), reading and writing files
# against making a texture (bench/texsynth_io_bench), texsynth beside G'MIC and the GIMP texturize plug-in
# (bench/compare-peers.sh), every way of matching side by side (bench/compare-matchers.sh), pictures grown
# (bench/compare-growing.sh), guides, style transfer, remixes and structure maps (bench/control-bench.sh),
# batches on a Dask cluster (bench/batch-throughput.py), then the quality
# research (bench/quality-research.md, made by hand with bench/quality-sweep.sh): all to BENCHMARKS.md, the
# pictures to bench/pictures/.
bench: bench-build
	$(BENCH_DIR)/bench/texsynth_bench --markdown BENCHMARKS.md
	$(BENCH_DIR)/bench/texsynth_io_bench demo/demo2.bmp $(BENCH_DIR) >$(BENCH_DIR)/files.md
	sh bench/compare-peers.sh $(BENCH_DIR) $(BENCH_DIR)/peers.md bench/pictures
	sh bench/compare-matchers.sh $(BENCH_DIR) $(BENCH_DIR)/matchers.md bench/pictures
	sh bench/compare-growing.sh $(BENCH_DIR) $(BENCH_DIR)/growing.md bench/pictures
	sh bench/control-bench.sh $(BENCH_DIR) $(BENCH_DIR)/control.md bench/pictures
	$(MAKE) --no-print-directory bench-batches
	for part in files peers matchers growing control batches; do echo >>BENCHMARKS.md; cat $(BENCH_DIR)/$$part.md >>BENCHMARKS.md; done
	sh bench/readme-pictures.sh $(BENCH_DIR)
	echo >>BENCHMARKS.md
	cat bench/quality-research.md >>BENCHMARKS.md

bench-quick: bench-build
	$(BENCH_DIR)/bench/texsynth_bench --quick

# Batches on a local Dask cluster of one and of two worker processes against the same jobs in one process
# (bench/batch-throughput.py, a few minutes): $(BENCH_DIR)/batches.md.
bench-batches: bench-build
	PYTHONPATH=$(BENCH_DIR)/python $(PYTHON) bench/batch-throughput.py demo/demo2.bmp >$(BENCH_DIR)/batches.md

# texsynth beside G'MIC and the GIMP texturize plug-in alone (bench/compare-peers.sh, about half an hour):
# tables in $(BENCH_DIR)/peers.md, pictures beside them.
bench-peers: bench-build
	sh bench/compare-peers.sh $(BENCH_DIR) $(BENCH_DIR)/peers.md $(BENCH_DIR)/peer-pictures

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR) $(BENCH_DIR)
