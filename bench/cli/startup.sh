#!/usr/bin/env bash
# How long quillfen-cli takes to start, against /bin/true: `--version` and a small experiment
# (one attack), each timed by `perf stat -r 30` (Debian's linux-perf) in five interleaved rounds,
# of which the fastest mean counts (the others carry the noise of a shared machine). Prints
# the mean wall time of each and its ratio to /bin/true, and the same of the CPU time
# (task-clock), which a busy machine disturbs less.
#   bench/cli/startup.sh [BUILD] [ROUNDS]
set -euo pipefail
build=${1:-build}
rounds=${2:-5}
here=$(cd "$(dirname "$0")/../.." && pwd)
cli=$(cd "$build" && pwd)/cli/quillfen-cli
command -v perf >/dev/null || { echo "perf is not installed (Debian: linux-perf)" >&2; exit 2; }
mean() {  # "wall cpu": the mean wall and CPU times of 30 runs, in milliseconds
  perf stat -r 30 "$@" 2>&1 >/dev/null |
    awk '/task-clock/ {cpu = $1} /seconds time elapsed/ {wall = $1 * 1000} END {printf "%.3f %.3f\n", wall, cpu}'
}
declare -A best cpu
names=(true version experiment)
for ((r = 0; r < rounds; r++)); do
  for name in "${names[@]}"; do
    case $name in
      true) t=$(mean /bin/true) ;;
      version) t=$(mean "$cli" --version) ;;
      experiment) t=$(mean "$cli" experiment "$here/samples/camera-256.pgm" "$here/samples/seal-128.pgm" --seed 1 \
                         --attack none) ;;
    esac
    read -r wall used <<<"$t"
    if [ -z "${best[$name]:-}" ] || awk -v a="$wall" -v b="${best[$name]}" 'BEGIN {exit !(a < b)}'; then
      best[$name]=$wall
    fi
    if [ -z "${cpu[$name]:-}" ] || awk -v a="$used" -v b="${cpu[$name]}" 'BEGIN {exit !(a < b)}'; then
      cpu[$name]=$used
    fi
  done
done
for name in "${names[@]}"; do
  awk -v n="$name" -v t="${best[$name]}" -v base="${best[true]}" -v c="${cpu[$name]}" -v cbase="${cpu[true]}" \
    'BEGIN {printf "%-12s wall %8.3f ms %5.2f x /bin/true   cpu %8.3f ms %5.2f x\n", n, t, t / base, c, c / cbase}'
done
