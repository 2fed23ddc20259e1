# The README's commands. Each one installs the package groups it uses (scripts/install-deps.sh),
# configures and builds what it runs, and then runs it.
BUILD ?= build
ASAN_BUILD ?= build-asan
ARM64_BUILD ?= build-arm64
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# Debian's numpy and pybind11 are built for Debian's interpreter, which need not be the first
# python3 on the PATH.
PYTHON ?= /usr/bin/python3

.PHONY: all deps configure build test test-arm64 consumer python demo run bench bench-compare screenshots gui-smoke report-screenshot calibration asan fuzz fuzz-seeds clean

# The package groups a target installs (all of them for `make deps`).
deps = @bash scripts/install-deps.sh $(1)

# Configures BUILD with the parts $(1) switched on (-DQF_BUILD_GUI=ON ...). A new build folder
# starts with every optional part off, so that a target builds only what it asked for; a
# folder configured before keeps the parts another target switched on.
define configure
@if [ -f $(BUILD)/CMakeCache.txt ]; then parts=""; \
else parts="-DQF_BUILD_GUI=OFF -DQF_BUILD_TESTS=OFF -DQF_BUILD_BENCH=OFF -DQF_REGISTRATION=OFF"; fi; \
cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $$parts $(1) $(CMAKE_FLAGS) >/dev/null
endef

# Everything: the desktop program, quillfen-cli with the registration module, the Python
# package, the tests and the benchmarks.
GUI = -DQF_BUILD_GUI=ON -DQF_REGISTRATION=ON
PY = -DQF_PYTHON=ON -DQF_REGISTRATION=ON -DPython_EXECUTABLE=$(PYTHON)
FULL = $(GUI) $(PY) -DQF_BUILD_TESTS=ON -DQF_BUILD_BENCH=ON

all: build

deps:
	$(call deps)

configure:
	$(call deps,test python)
	$(call configure,$(FULL))

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Every test run stops a test after fifteen minutes (a whole window-test program under the
# sanitizers on a busy machine takes a few), so that one that hangs fails with its name
# instead of holding the whole run. Tests labelled `slow` (statistical checks over many
# trials) run natively only, not under the sanitizers or the emulator.
test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 900 -j $(JOBS)

# The core, the CLI and their tests cross-built for ARM64 and run under qemu. No desktop
# program there and no Qt: BMP files are refused, the tests that need them skipped.
test-arm64:
	$(call deps,arm64)
	@cmake -S . -B $(ARM64_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/aarch64-linux-gnu.cmake \
	  -DQF_BUILD_GUI=OFF -DQF_QT_PICTURES=OFF -DQF_BUILD_BENCH=OFF -DQF_SHARED_LIBS=OFF >/dev/null
	@cmake --build $(ARM64_BUILD) -j $(JOBS)
	@# Left out: two tests that start the program as a child process, which the emulator can
	@# only do with a binfmt registration of the machine, and the three that run external methods'
	@# programs (all of them run in every native build).
	@cd $(ARM64_BUILD) && ctest --output-on-failure --timeout 900 -LE slow -j $(JOBS) \
	  -E '^(CliContract\.(AReportThatCannotBeWrittenExitsTwo|AFifoDoesNotHangTheProgram)|MethodsCommand\.(ExternalMethodInASweepBesidePolarity|FailingExternalMethodsGiveErrorRows|AStopEndsTheMethodsProgramsAndLeavesNothingBehind))$$'
	@# The byte-identity tests again on SVE CPUs of 128- and 256-bit vectors (qemu's default is 512).
	@for bytes in 16 32; do \
	  echo "SVE vectors of $$((bytes * 8)) bits:"; \
	  QEMU_CPU=max,sve-default-vector-length=$$bytes qemu-aarch64-static $(ARM64_BUILD)/tests/watermark_tests \
	    --gtest_brief=1 --gtest_filter='VectorLoops.*:VectorTargets.*:Digests.*' || exit 1; \
	done

# The installed API as a caller uses it: cmake --install into a temporary prefix, then
# examples/consumer built with find_package(Quillfen) and with pkg-config, and run (it
# registers a picture, so the registration module is built).
consumer:
	$(call deps,consumer)
	$(call configure,-DQF_REGISTRATION=ON)
	@cmake --build $(BUILD) -j $(JOBS)
	@bash scripts/consumer.sh $(BUILD)

# The Python package in $(BUILD)/python/quillfen (PYTHONPATH=$(BUILD)/python), with the modules
# it loads; `pip install --no-build-isolation .` installs it instead.
python:
	$(call deps,python)
	$(call configure,$(PY))
	@cmake --build $(BUILD) -j $(JOBS) --target quillfen_python
	@echo "built: PYTHONPATH=$(BUILD)/python $(PYTHON) -c 'import quillfen'"

# Only quillfen-cli (and the BMP module it loads) is built: no tests, benchmarks, desktop
# program or registration module (the demo registers nothing).
demo:
	$(call deps,demo)
	$(call configure)
	@cmake --build $(BUILD) -j $(JOBS) --target quillfen-cli
	@bash scripts/demo.sh $(BUILD)

run:
	$(call deps,gui)
	$(call configure,$(GUI))
	@cmake --build $(BUILD) -j $(JOBS) --target quillfen
	@$(BUILD)/app/quillfen

# Pictures of the windows for the documentation, rendered without a display.
screenshots:
	$(call deps,gui docs)
	$(call configure,$(GUI))
	@cmake --build $(BUILD) -j $(JOBS) --target quillfen-screenshots
	@QT_QPA_PLATFORM=offscreen $(BUILD)/app/quillfen-screenshots docs/screenshots samples

# The real program under Xvfb, driven by real input events through one whole experiment. Its
# drag source is built with the tests.
gui-smoke:
	$(call deps,test gui-smoke)
	$(call configure,$(GUI) -DQF_BUILD_TESTS=ON)
	@cmake --build $(BUILD) -j $(JOBS) --target quillfen quillfen-smoke-helper quillfen-cli
	@timeout 900 bash scripts/gui-smoke.sh $(BUILD) $(BUILD)/gui-smoke.png

# The demo's robustness report rendered by headless Chromium, for the README.
report-screenshot: demo
	$(call deps,docs)
	@bash scripts/report-screenshot.sh $(BUILD)/demo-out/robustness.html docs/screenshots/robustness-report.png 3400

# Rewrites the calibration shipped beside the bundled mark (a test checks that it is what
# this command gives) and those of the blind methods (whose built-in thresholds are theirs).
calibration:
	$(call deps,demo)
	$(call configure)
	@cmake --build $(BUILD) -j $(JOBS) --target quillfen-cli
	@$(BUILD)/cli/quillfen-cli calibrate samples/hosts --mark samples/seal-128.pgm --out samples/seal-128.calibration.json
	@for m in spread-spectrum qim stdm rdm; do \
	  $(BUILD)/cli/quillfen-cli calibrate samples/hosts --method $$m --out samples/$$m.calibration.json || exit 1; done

bench:
	$(call deps,bench)
	$(call configure,-DQF_BUILD_BENCH=ON)
	@cmake --build $(BUILD) -j $(JOBS)
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

# The toolbox against the comparable OpenCV calls, operation by operation, on AVX2 and on
# the best vector target of this CPU.
bench-compare:
	$(call deps,bench)
	$(call configure,-DQF_BUILD_BENCH=ON)
	@cmake --build $(BUILD) -j $(JOBS) --target bench_compare
	@bash scripts/bench-compare.sh $(BUILD)

asan:
	$(call deps,test)
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQF_SANITIZE=ON -DQF_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure --timeout 900 -LE slow -j $(JOBS)

# `make fuzz SECONDS=600 TARGETS=key` runs one target for ten minutes.
fuzz:
	$(call deps,fuzz)
	@bash scripts/fuzz.sh $(or $(SECONDS),60) $(TARGETS)

# Rewrites the seed corpora under tests/fuzz/corpus (only when asked to).
fuzz-seeds:
	$(call deps,test)
	$(call configure,-DQF_BUILD_TESTS=ON)
	@cmake --build $(BUILD) --target make_fuzz_seeds
	@$(BUILD)/tests/fuzz/make_fuzz_seeds tests/fuzz/corpus

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(ARM64_BUILD)
