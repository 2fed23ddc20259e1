#!/usr/bin/env bash
# The blind methods' null side on whole photographs: every held-out photograph (nothing is tuned
# on them) marked with each seed, and each key's own host, unmarked, read after each cell with
# the same seed (the rows' score_null). Prints, per picture size, how many null readings reach
# the shipped thresholds at 1e-3 and 1e-6 and the largest null score against them: a null that
# narrows with more coefficients keeps its readings far below thresholds set on 256 x 256.
#
#   bench/photos/null_rates.sh [BUILD] [SEEDS] [CELLS]
#     BUILD  the build folder (default build: quillfen-cli and the Python package in it)
#     SEEDS  seeds of the run (default 1..4)
#     CELLS  attack cells (default none,real-jpeg:q=75,gauss-noise:sigma=4,scale:f=0.75)
# Needs `bash scripts/install-deps.sh photos`. The thresholds are the methods' shipped ones,
# read from the Python package's catalogue.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
seeds=${2:-1..4}
cells=${3:-none,real-jpeg:q=75,gauss-noise:sigma=4,scale:f=0.75}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/photos"
"$here/scripts/photos.sh" held-out | while read -r p; do ln -s "$p" "$work/photos/"; done
"$build/cli/quillfen-cli" robustness "$work/photos" --method spread-spectrum --method qim --seeds "$seeds" \
  --attacks "$cells" --jsonl "$work/rows.jsonl" >/dev/null
PYTHONPATH="$build/python" /usr/bin/python3 - "$work/rows.jsonl" <<'PY'
import collections, json, sys
import quillfen
thresholds = {m["name"]: m["thresholds"] for m in quillfen.methods() if m.get("thresholds")}
groups = collections.defaultdict(list)
for line in open(sys.argv[1]):
    row = json.loads(line)
    if row.get("error"):
        print("failed row:", row["host"], row["method"], row["attack"], row["error"], file=sys.stderr)
        continue
    mp = row["width"] * row["height"] / 1e6
    size = "%.1f-%.1f MP" % ((0, 4) if mp < 4 else (4, 8) if mp < 8 else (8, 20))
    groups[(row["method"], size)].append(row)
print("%-16s %-12s %7s %7s %10s %10s %14s" % ("method", "size", "hosts", "nulls", ">=1e-3", ">=1e-6", "max null/t1e-3"))
for (method, size), rows in sorted(groups.items()):
    t = thresholds[method]
    nulls = [r["score_null"] for r in rows]
    print("%-16s %-12s %7d %7d %10d %10d %14.3f" % (method, size, len({r["host"] for r in rows}), len(nulls),
          sum(n >= t["1e-3"] for n in nulls), sum(n >= t["1e-6"] for n in nulls), max(nulls) / t["1e-3"]))
PY
