#!/usr/bin/env bash
# Usage: fuzz.sh [SECONDS [TARGET...]]. Runs every fuzz target, or the named ones, for SECONDS
# seconds each (default 60) with a memory limit, starting from the checked-in corpus, and
# reports executions and findings per target. New inputs that crash or hang a target are left in build-fuzz/findings/<target>/: fix the reader, then copy
# them into tests/fuzz/corpus/<target>/ so that `make test` replays them from then on.
# QF_FUZZ_SEED fixes libFuzzer's random seed, so that a run started from the same corpus takes
# the same path on every machine (CI sets it; a finding there can then be found again here).
set -uo pipefail
seconds=${1:-60}
shift || true
# The targets to run: those named after SECONDS, or all of them.
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=(pgm jpeg qt_picture open_path attack_list key calibration method_command method_output); fi
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-fuzz"
if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is not installed (scripts/install-deps.sh installs it)" >&2
  exit 2
fi
mkdir -p "$build"
if ! { CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DQF_FUZZ=ON -DQF_REGISTRATION=OFF -DQF_SHARED_LIBS=OFF && cmake --build "$build" -j "$(nproc)"; } >"$build/build.log" 2>&1; then
  echo "fuzz.sh: building the fuzz targets failed:" >&2
  tail -n 30 "$build/build.log" >&2
  exit 2
fi

status=0
notes=()
details=()
printf '%-12s %12s %10s %s\n' target executions findings result
for target in "${targets[@]}"; do
  work="$build/work/$target"
  findings="$build/findings/$target"
  mkdir -p "$work" "$findings"
  log="$build/$target.log"
  QT_QPA_PLATFORM=offscreen "$build/tests/fuzz/fuzz_$target" "$work" "$here/tests/fuzz/corpus/$target" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 \
    -artifact_prefix="$findings/" -print_final_stats=1 ${QF_FUZZ_SEED:+-seed="$QF_FUZZ_SEED"} >"$log" 2>&1
  rc=$?
  execs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
  # A slow or timed-out input is run once more alone: when it is quick then, the machine
  # stalled (a busy shared runner), not the reader, and the input is set aside with a note.
  stalled=0
  for artifact in "$findings"/slow-unit-* "$findings"/timeout-*; do
    [ -f "$artifact" ] || continue
    started=$(date +%s)
    if QT_QPA_PLATFORM=offscreen timeout 60 "$build/tests/fuzz/fuzz_$target" -timeout=10 -rss_limit_mb=2048 \
         -malloc_limit_mb=1024 "$artifact" >>"$log.replay" 2>&1 && [ $(( $(date +%s) - started )) -lt 5 ]; then
      mkdir -p "$build/stalls/$target"
      mv "$artifact" "$build/stalls/$target/"
      stalled=$((stalled + 1))
      notes+=("$target: $(basename "$artifact") ran in under 5 s when replayed; kept in $build/stalls/$target")
    fi
  done
  found=$(find "$findings" -type f | wc -l)
  result=ok
  if [ "$found" -ne 0 ] || { [ "$rc" -ne 0 ] && [ "$stalled" -eq 0 ]; }; then
    result="FINDING (see $log)"
    status=1
    # What the sanitizer or libFuzzer said, so that a run on another machine shows the cause.
    details+=("== $target (exit $rc): $(find "$findings" -type f -printf '%f ' | head -c 300)")
    while IFS= read -r line; do details+=("   $line"); done < <(grep -m 12 -E \
      '^==[0-9]+==ERROR|^SUMMARY|^ALARM|libFuzzer: |Slowest unit|runtime error|^    #[0-9] ' "$log")
  fi
  printf '%-12s %12s %10s %s\n' "$target" "${execs:-?}" "$found" "$result"
done
for line in "${notes[@]}"; do echo "note: $line"; done
for line in "${details[@]}"; do echo "$line" >&2; done
exit $status
