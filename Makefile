# The README's commands. Each one installs what is missing, configures and builds first.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test demo run bench screenshots report-screenshot calibration asan fuzz fuzz-seeds clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

demo: build
	@bash scripts/demo.sh $(BUILD)

run: build
	@$(BUILD)/app/quillfen

# Pictures of the windows for the documentation, rendered without a display.
screenshots: build
	@QT_QPA_PLATFORM=offscreen $(BUILD)/app/quillfen-screenshots docs/screenshots samples

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

fuzz: deps
	@bash scripts/fuzz.sh $(or $(SECONDS),60)

# Rewrites the seed corpora under tests/fuzz/corpus (only when asked to).
fuzz-seeds: configure
	@cmake --build $(BUILD) --target make_fuzz_seeds
	@$(BUILD)/tests/fuzz/make_fuzz_seeds tests/fuzz/corpus

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
