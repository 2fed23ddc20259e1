#!/usr/bin/env bash
# How often unmarked copies of each bundled host reach its key's thresholds. For every host in
# samples/hosts the key that `embed --seed SEED` writes (its own calibration included) judges
# COPIES copies of the host with Gaussian noise of one gray level, as many with that noise and
# then JPEG at a quality of 80..100, and the host after JPEG 80..100 alone; a Markdown table
# gives, per host, the key's thresholds and how many copies reach each. Not run by CI (about a
# minute for the 12 hosts).
# Usage: scripts/key-null-copies.sh [BUILD [SEED [COPIES]]]   (defaults: build 1 200)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
seed=${2:-1}
copies=${3:-200}
# The counting program is built with the benchmarks (bench/benchmark/key_null_copies.cpp).
bash "$here/scripts/install-deps.sh" bench
# A new build folder gets nothing else (as the Makefile's targets start one).
parts=""
[ -f "$build/CMakeCache.txt" ] || parts="-DQF_BUILD_GUI=OFF -DQF_BUILD_TESTS=OFF -DQF_REGISTRATION=OFF"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release $parts -DQF_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target key_null_copies >/dev/null
"$build/bench/key_null_copies" "$here/samples/seal-128.pgm" "$copies" "$seed" "$here"/samples/hosts/*.pgm
