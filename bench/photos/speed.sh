#!/usr/bin/env bash
# The blind methods on whole photographs: for each held-out photograph and each blind method,
# the CPU time of marking at a target PSNR (the strength search and the marking, as
# `embed --target-psnr` runs them), of reading the marked picture, and the peak memory the
# marking adds to the process, per picture and per megapixel (build/bench/photo_speed, one
# process per picture and method so that one run's memory does not hide another's). Prints the
# machine's load before and after: on a busy machine only the CPU times tell.
#
#   bench/photos/speed.sh [BUILD] [TARGET_DB] [PICTURE...]
#     BUILD      the build folder (default build)
#     TARGET_DB  the embedding PSNR (default 40)
#     PICTURE    the pictures (default: `scripts/photos.sh held-out`)
# Needs `bash scripts/install-deps.sh photos` for the default pictures. Vector loops run on
# the target QF_HWY_TARGET names, as in every program. METHODS (a space-separated list) measures
# only those methods: `METHODS=rdm bench/photos/speed.sh`.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
target=${2:-40}
shift $(( $# > 2 ? 2 : $# ))
if [ $# -gt 0 ]; then pictures=("$@"); else mapfile -t pictures < <("$here/scripts/photos.sh" held-out); fi
read -r -a methods <<<"${METHODS:-spread-spectrum qim stdm rdm spread-spectrum-sync}"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
lines=$(mktemp)
trap 'rm -f "$lines"' EXIT
first=1
for picture in "${pictures[@]}"; do
  for method in "${methods[@]}"; do
    if [ $first = 1 ]; then
      "$build/bench/photo_speed" --target "$target" --method "$method" "$picture" | tee -a "$lines"
      first=0
    else
      "$build/bench/photo_speed" --target "$target" --method "$method" "$picture" | tail -n +2 | tee -a "$lines"
    fi
  done
done
# Per megapixel over all pictures (the sums' ratio), and the largest peak.
awk '
  NR == 1 { next }
  { n[$2]++; mp[$2] += $3; e[$2] += $4; r[$2] += $6; if ($8 != "-" && $9 > x[$2]) x[$2] = $9 }
  END {
    printf "\n%-22s %8s %12s %14s %14s\n", "method", "pictures", "embed s/MP", "extract s/MP", "peak x RGB";
    for (m in n) printf "%-22s %8d %12.4f %14.4f %14.2f\n", m, n[m], e[m] / mp[m], r[m] / mp[m], x[m];
  }' "$lines"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
