#!/usr/bin/env bash
# The README's method comparison on whole photographs: twelve pictures (the ten `photos.sh final`
# gives, kept back from all tuning, and two of the held-out ones, Bridge_by_Sander_Klootwijk.jpg
# and Dragonfly_by_Bolly.jpg, 3.7 and 5 megapixels, for sizes the final ten lack), every method
# at one embedding PSNR, the default grid; prints the table "detected at 1e-6: family x method"
# in the README's Markdown, with each method's mean embedding PSNR (over red, green and blue).
#
#   bench/photos/compare_methods.sh [BUILD] [SEEDS] [TARGET_DB] [CELLS]
#     BUILD      the build folder (default build)
#     SEEDS      seeds of the run (default 1..2: a whole photograph per row is slow)
#     TARGET_DB  the embedding PSNR of the methods with a strength (default 38, as the README's
#                256 x 256 table)
#     CELLS      attack cells (default: the default grid)
# The run's rows are appended to bench-photos-rows.jsonl in the current folder as they come,
# so that a stopped run resumes (--resume) where it stopped. Needs `bash scripts/install-deps.sh photos`.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
seeds=${2:-1..2}
target=${3:-38}
cells=${4:-}
rows=$PWD/bench-photos-rows.jsonl
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/photos"
# The final pictures share one file name (2560x1600.jpg): each is named after its folder.
"$here/scripts/photos.sh" final | while read -r p; do
  name=$(basename "$(dirname "$(dirname "$(dirname "$p")")")")
  ln -s "$p" "$work/photos/$name.jpg"
done
for extra in Bridge_by_Sander_Klootwijk.jpg Dragonfly_by_Bolly.jpg; do
  p=$("$here/scripts/photos.sh" held-out | grep "/$extra\$")
  ln -s "$p" "$work/photos/$extra"
done
attacks=()
[ -n "$cells" ] && attacks=(--attacks "$cells")
# Always resume, from an empty file at first: the rows are then appended as they come, so a
# run stopped after hours keeps what it measured (a fresh --jsonl is written only at the end).
[ -e "$rows" ] || : > "$rows"
resume=(--resume)
"$build/cli/quillfen-cli" robustness "$work/photos" --method polarity --method spread-spectrum --method qim \
  --target-psnr "$target" --seeds "$seeds" "${attacks[@]}" "${resume[@]}" --jsonl "$rows" >/dev/null
/usr/bin/python3 - "$rows" <<'PY'
import collections, json, sys
rows = [json.loads(l) for l in open(sys.argv[1])]
methods = list(dict.fromkeys(r["method"] for r in rows))
family = lambda a: a.split(":")[0].split("+")[0] if "+" not in a else "combined"
fams = list(dict.fromkeys(family(r["attack"]) for r in rows))
hit = collections.defaultdict(list)
psnr = collections.defaultdict(list)
sizes = sorted({(r["width"], r["height"]) for r in rows if r.get("region") == "whole"})
for r in rows:
    if r.get("error"):
        continue
    hit[(family(r["attack"]), r["method"])].append(bool(r["detected_1e-6"]))
    hit[("all", r["method"])].append(bool(r["detected_1e-6"]))
    if r["attack"] == "none" and r["psnr_embed"] is not None:
        psnr[r["method"]].append(r["psnr_embed"])
hosts = len({r["host"] for r in rows})
print("%d photographs (%s), seeds %s, %d cells" % (hosts, ", ".join("%dx%d" % s for s in sizes),
      sorted({r["seed"] for r in rows}), len({r["attack"] for r in rows})))
print()
print("| family | " + " | ".join("%s (%.1f dB)" % (m, sum(psnr[m]) / max(len(psnr[m]), 1)) for m in methods) + " |")
print("|---|" + "---:|" * len(methods))
for f in fams + ["all"]:
    cells = [hit[(f, m)] for m in methods]
    print("| %s | " % f + " | ".join("%.2f" % (sum(c) / len(c)) if c else "-" for c in cells) + " |")
PY
