#!/usr/bin/env bash
# The toolbox beside the comparable OpenCV calls: one table on AVX2 (when this CPU has it,
# OpenCV kept to AVX2 as well) and one on the best target of this CPU.
#   scripts/bench-compare.sh BUILD [benchmark options...]
set -euo pipefail
build=${1:-build}
shift || true
program="$build/bench/bench_compare"
if [ ! -x "$program" ]; then
  echo "bench-compare: $program is missing (OpenCV's image processing package is needed to build it)" >&2
  exit 1
fi
best=$("$program" --benchmark_list_tests=true | sed -n 's/^vector loops: \([^ ]*\) .*/\1/p')
if [ "$best" != "AVX2" ] && grep -qw avx2 /proc/cpuinfo 2>/dev/null; then
  echo "== AVX2 =="
  QF_HWY_TARGET=AVX2 OPENCV_CPU_DISABLE=AVX512F,AVX512-SKX,AVX512-COMMON "$program" "$@"
  echo
fi
echo "== best target: $best =="
"$program" "$@"
