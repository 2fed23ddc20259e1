# The README's commands. Each one installs what is missing, configures and builds first.
BUILD ?= build
ASAN_BUILD ?= build-asan
ARM64_BUILD ?= build-arm64
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test test-arm64 consumer demo run bench screenshots gui-smoke report-screenshot calibration asan fuzz fuzz-seeds clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The core, the CLI and their tests cross-built for ARM64 and run under qemu. No desktop
# program there and no Qt: BMP files are refused, the tests that need them skipped.
test-arm64:
	@bash scripts/install-arm64-deps.sh
	@cmake -S . -B $(ARM64_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/aarch64-linux-gnu.cmake \
	  -DQF_BUILD_GUI=OFF -DQF_QT_PICTURES=OFF -DQF_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(ARM64_BUILD) -j $(JOBS)
	@# Left out: two tests that start the program as a child process, which the emulator can
	@# only do with a binfmt registration of the machine (they run in every native build).
	@cd $(ARM64_BUILD) && ctest --output-on-failure -j $(JOBS) \
	  -E '^CliContract\.(AReportThatCannotBeWrittenExitsTwo|AFifoDoesNotHangTheProgram)$$'
	@# The byte-identity tests again on SVE CPUs of 128- and 256-bit vectors (qemu's default is 512).
	@for bytes in 16 32; do \
	  echo "SVE vectors of $$((bytes * 8)) bits:"; \
	  QEMU_CPU=max,sve-default-vector-length=$$bytes qemu-aarch64-static $(ARM64_BUILD)/tests/watermark_tests \
	    --gtest_brief=1 --gtest_filter='VectorLoops.*:VectorTargets.*:Digests.*' || exit 1; \
	done

# The installed API as a caller uses it: cmake --install into a temporary prefix, then
# examples/consumer built with find_package(Quillfen) and with pkg-config, and run.
consumer: build
	@bash scripts/consumer.sh $(BUILD)

demo: build
	@bash scripts/demo.sh $(BUILD)

run: build
	@$(BUILD)/app/quillfen

# Pictures of the windows for the documentation, rendered without a display.
screenshots: build
	@QT_QPA_PLATFORM=offscreen $(BUILD)/app/quillfen-screenshots docs/screenshots samples

# The real program under Xvfb, driven by real input events through one whole experiment.
gui-smoke: build
	@timeout 900 bash scripts/gui-smoke.sh $(BUILD) $(BUILD)/gui-smoke.png

# The demo's robustness report rendered by headless Chromium, for the README.
report-screenshot: demo
	@bash scripts/report-screenshot.sh $(BUILD)/demo-out/robustness.html docs/screenshots/robustness-report.png 3400

# Rewrites the calibration shipped beside the bundled mark (a test checks that it is what
# this command gives).
calibration: build
	@$(BUILD)/cli/quillfen-cli calibrate samples/hosts --mark samples/seal-128.pgm --out samples/seal-128.calibration.json

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQF_SANITIZE=ON -DQF_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# `make fuzz SECONDS=600 TARGETS=key` runs one target for ten minutes.
fuzz: deps
	@bash scripts/fuzz.sh $(or $(SECONDS),60) $(TARGETS)

# Rewrites the seed corpora under tests/fuzz/corpus (only when asked to).
fuzz-seeds: configure
	@cmake --build $(BUILD) --target make_fuzz_seeds
	@$(BUILD)/tests/fuzz/make_fuzz_seeds tests/fuzz/corpus

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(ARM64_BUILD)
