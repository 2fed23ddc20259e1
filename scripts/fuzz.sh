#!/usr/bin/env bash
# Usage: fuzz.sh [SECONDS [TARGET...]]. Runs every fuzz target, or the named ones, for SECONDS
# seconds each (default 60) with a memory limit, starting from the checked-in corpus, and
# reports executions and findings per target. New inputs that crash or hang a target are left in build-fuzz/findings/<target>/: fix the reader, then copy
# them into tests/fuzz/corpus/<target>/ so that `make test` replays them from then on.
set -uo pipefail
seconds=${1:-60}
shift || true
# The targets to run: those named after SECONDS, or all of them.
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=(pgm jpeg qt_picture open_path attack_list key calibration); fi
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-fuzz"
if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is not installed (scripts/install-deps.sh installs it)" >&2
  exit 2
fi
mkdir -p "$build"
if ! { CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DQF_FUZZ=ON && cmake --build "$build" -j "$(nproc)"; } >"$build/build.log" 2>&1; then
  echo "fuzz.sh: building the fuzz targets failed:" >&2
  tail -n 30 "$build/build.log" >&2
  exit 2
fi

status=0
printf '%-12s %12s %10s %s\n' target executions findings result
for target in "${targets[@]}"; do
  work="$build/work/$target"
  findings="$build/findings/$target"
  mkdir -p "$work" "$findings"
  log="$build/$target.log"
  QT_QPA_PLATFORM=offscreen "$build/tests/fuzz/fuzz_$target" "$work" "$here/tests/fuzz/corpus/$target" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 \
    -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1
  rc=$?
  execs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
  found=$(find "$findings" -type f | wc -l)
  result=ok
  if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then result="FINDING (see $log)"; status=1; fi
  printf '%-12s %12s %10s %s\n' "$target" "${execs:-?}" "$found" "$result"
done
exit $status
